#include "server/ShopRegistry.h"

#include "server/PasswordHash.h"
#include "server/Statement.h"

bool ShopRegistry::Add(const Shop& shop) {
    std::lock_guard lock(m_lock);
    Statement insert(m_db, "INSERT OR IGNORE INTO shops (id, name, password, rate, coins, version) "
                           "VALUES (?, ?, '', ?, ?, ?)");
    insert.Bind(1, shop.id).Bind(2, shop.name).Bind(3, shop.rate).Bind(4, shop.coins).Bind(5, shop.version);
    insert.Run();
    return m_db.Changes() == 1;
}

bool ShopRegistry::SetPassword(const std::string& id, std::string_view password) {
    // Hashed before the lock: the hash is slow on purpose, and the server's tills go on meanwhile.
    const std::string hash = PasswordHash::Make(password, m_hashIterations);
    std::lock_guard lock(m_lock);
    Statement set(m_db, "UPDATE shops SET password = ? WHERE id = ?");
    set.Bind(1, hash).Bind(2, id);
    set.Run();
    return m_db.Changes() == 1;
}

bool ShopRegistry::Change(const std::string& id, const ShopChange& change) {
    std::lock_guard lock(m_lock);
    Database::Transaction tx(m_db);
    Statement shop(m_db, "SELECT 1 FROM shops WHERE id = ?");
    shop.Bind(1, id);
    if (!shop.Step())
        return false;
    Statement set(m_db, "UPDATE shops SET rate = coalesce(?, rate), coins = coalesce(?, coins), "
                        "version = coalesce(?, version) WHERE id = ?");
    if (change.rate)
        set.Bind(1, *change.rate);
    if (change.coins)
        set.Bind(2, *change.coins);
    if (change.version)
        set.Bind(3, *change.version);
    set.Bind(4, id);
    set.Run();
    tx.Commit();
    return true;
}

std::vector<ShopRegistry::Shop> ShopRegistry::List() {
    std::lock_guard lock(m_lock);
    Statement select(m_db, "SELECT id, name, rate, coins, version, password != '' FROM shops ORDER BY id");
    std::vector<Shop> shops;
    while (select.Step())
        shops.push_back({select.Text(0), select.Text(1), select.Text(2), select.Int(3), select.Text(4),
                         select.Int(5) != 0});
    return shops;
}
