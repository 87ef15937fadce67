// The site root offers the packages of the --downloads folder with their SHA-256 from SHA256SUMS,
// and the files behind its links are those packages, byte for byte, and nothing else of the folder.
#include "ServerFixture.h"
#include "TempDir.h"

#include <fstream>

namespace {

const std::string kSum(64, 'a');

class Downloads : public ServerFixture {
protected:
    // No server yet: each test starts its own once the folder holds what it needs.
    void SetUp() override { std::filesystem::create_directories(m_folder.path / "sub"); }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(m_folder / name, std::ios::binary) << bytes;
    }
    TempDir m_folder;
};

TEST_F(Downloads, ListsAndServesThePackagesOnly) {
    const std::string msi =
        std::string("MSI\0\x01\xff", 6) + std::string(200'000, 'm'); // more than one piece
    Write("Quillon-1.0.1.0-x64.msi", msi);
    Write("Quillon-1.0.1.0-x64.zip", "PK zip");
    Write("Quillon-1.0.1.0-x86.msi", "MSI x86");
    Write("notes.txt", "the operator's own notes");
    Write("sub/inner.zip", "not at the top");
    Write("SHA256SUMS",
          kSum + "  Quillon-1.0.1.0-x64.msi\n" + std::string(63, 'b') + "  Quillon-1.0.1.0-x64.zip\n");
    StartServer(":memory:", Books::Seed::Demo, m_folder.path.string());

    const std::string page = Get("/");
    // Each package's row says for which Windows it is.
    for (const char* expected :
         {"<a href=\"/downloads/Quillon-1.0.1.0-x64.msi\">Quillon-1.0.1.0-x64.msi</a></td><td>64비트 Windows",
          kSum.c_str(), "<a href=\"/downloads/Quillon-1.0.1.0-x64.zip\">Quillon-1.0.1.0-x64.zip</a></td><td>64비트",
          "<a href=\"/downloads/Quillon-1.0.1.0-x86.msi\">Quillon-1.0.1.0-x86.msi</a></td><td>32비트 Windows",
          "SHA256SUMS에 없습니다"}) // the zip's line there is one digit short
        EXPECT_NE(page.find(expected), std::string::npos) << expected;
    for (const char* absent : {"notes.txt", "inner.zip", "내려받을 파일이 없습니다"})
        EXPECT_EQ(page.find(absent), std::string::npos) << absent;

    const struct {
        const char* target;
        int status;
        std::string body;
    } fetches[] = {
        {"/downloads/Quillon-1.0.1.0-x64.msi", 200, msi},
        {"/downloads/Quillon-1.0.1.0-x64.zip", 200, "PK zip"},
        {"/downloads/notes.txt", 404, ""},
        {"/downloads/SHA256SUMS", 404, ""},
        {"/downloads/sub%2Finner.zip", 404, ""},
        {"/downloads/..%2Fquillon-downloads.zip", 404, ""},
        {"/downloads/Quillon-1.0.0.1-x64.msi", 404, ""},
    };
    for (const auto& f : fetches) {
        const SimReply reply = http().Get(f.target);
        EXPECT_EQ(reply.status, f.status) << f.target;
        EXPECT_TRUE(f.status != 200 || reply.body == f.body)
            << f.target << ": " << reply.body.size() << " bytes";
    }
}

TEST_F(Downloads, SaysSoWhenThereIsNothing) {
    for (const bool withFolder : {false, true}) {
        StartServer(":memory:", Books::Seed::Demo, withFolder ? m_folder.path.string() : "");
        const std::string page = Get("/");
        EXPECT_NE(page.find("내려받을 파일이 없습니다."), std::string::npos) << withFolder;
        EXPECT_EQ(page.find("<table"), std::string::npos) << withFolder;
        StopServer();
    }
}

} // namespace
