// What the two backends of the internet part share: the limits in force and the file object that
// hands out a body collected whole. Internal to framework/.
#pragma once

#include "framework/Internet.h"

#include <memory>
#include <string>

namespace internet_detail {

// Bodies beyond this are not collected further: no reply record can use more.
inline constexpr std::size_t kMaxCollected = 64 * 1024;

std::unique_ptr<CInternetFile> MakeCollectedFile(std::string body, DWORD status);

} // namespace internet_detail
