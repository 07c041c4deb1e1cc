// The local-machine hive on POSIX systems: a settings store in one SQLite
// database.
//
// Where: the file named by KTU_SETTINGS_DB when it is set (a native path or a
// drive-form one), else "KS_TU_UtilityClasses_V4/registry.db" in the user's
// configuration folder ($XDG_CONFIG_HOME, else ~/.config). The variable is
// read at every open, so a program may move the store while it runs.
//
// What it keeps: the keys (each with the key above it) and their values (type
// and bytes). Key paths and value names compare without regard to ASCII case,
// as the Windows registry compares them; the spelling of the first creation is
// kept. Every change is one SQLite transaction (rollback journal, synchronous
// commits) whose every step is checked, so a process killed at any point, or
// a full disk, leaves either the whole change or none of it (the next opener
// rolls a torn change back), and a change reported done survives. The store
// is changed in place through the journal, never truncated and written
// anew. Several processes may read and write at once: each waits for the
// others' locks (see waitWhileBusy) for up to five seconds before its call
// is given up and answers false.
//
// A key handle is one database connection; the library opens a key, uses it
// and closes it within one call, so no connection outlives a call (or crosses
// a fork).
#include <errno.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "drives.h"
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

constexpr auto kBusyBound = std::chrono::seconds(5);
constexpr int kSchemaVersion = 1;
constexpr uint32_t kRegSz = 1;  // REG_SZ
constexpr std::size_t kMaxKeyNameLength = 255;

struct Key {
    sqlite3* db;
    std::string path;  // as stored: levels joined by '\', no leading or trailing '\'
};

std::string storePath()
{
    const char* chosen = std::getenv("KTU_SETTINGS_DB");
    if (chosen != nullptr && chosen[0] != '\0') {
        std::string native;
        return posix::toNativePath(chosen, native) ? native : std::string();
    }
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            struct passwd* entry = ::getpwuid(::getuid());
            home = entry != nullptr ? entry->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] == '\0') {
            return std::string();
        }
        base = std::string(home) + "/.config";
    }
    return base + "/KS_TU_UtilityClasses_V4/registry.db";
}

// Makes every missing folder above `file` (mode 0700: settings are private).
void makeParentFolders(const std::string& file)
{
    for (std::size_t slash = file.find('/', 1); slash != std::string::npos; slash = file.find('/', slash + 1)) {
        std::string folder = file.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return;
        }
    }
}

// Waiting for a store that another connection holds. SQLite's own busy
// handler sleeps longer and longer between looks (up to 100 ms a turn):
// with several writers the lock was nearly always taken again by the time a
// long sleeper looked, and single calls waited 10 s and more while others
// wrote hundreds of values. This one looks again every 0.5 to 1.5 ms (the
// spread keeps the waiters from looking in step) and gives up after
// kBusyBound, when the call answers false.
thread_local std::chrono::steady_clock::time_point t_waitStart;
thread_local uint32_t t_jitter = 0;

int waitWhileBusy(void*, int attempt)
{
    auto now = std::chrono::steady_clock::now();
    if (attempt == 0) {
        t_waitStart = now;
        if (t_jitter == 0) {
            t_jitter = static_cast<uint32_t>(::getpid()) * 2654435761u ^ static_cast<uint32_t>(now.time_since_epoch().count());
        }
    }
    if (now - t_waitStart >= kBusyBound) {
        return 0;
    }
    t_jitter ^= t_jitter << 13;
    t_jitter ^= t_jitter >> 17;
    t_jitter ^= t_jitter << 5;
    timespec pause{0, static_cast<long>(500000 + t_jitter % 1000000)};
    ::nanosleep(&pause, nullptr);  // a signal only shortens this look
    return 1;
}

bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// One prepared statement, finalised with its scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
            stmt_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    Statement& text(int index, const std::string& value)
    {
        if (stmt_ != nullptr) {
            sqlite3_bind_text(stmt_, index, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
        }
        return *this;
    }
    Statement& blob(int index, const void* data, int size)
    {
        if (stmt_ != nullptr) {
            sqlite3_bind_blob(stmt_, index, size > 0 ? data : "", size, SQLITE_TRANSIENT);
        }
        return *this;
    }
    Statement& integer(int index, int64_t value)
    {
        if (stmt_ != nullptr) {
            sqlite3_bind_int64(stmt_, index, value);
        }
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return stmt_ != nullptr ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    bool run() { return step() == SQLITE_DONE; }
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

// A write transaction that rolls back unless committed.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db), open_(exec(db, "BEGIN IMMEDIATE")) {}
    ~Transaction()
    {
        if (open_) {
            exec(db_, "ROLLBACK");
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool open() const { return open_; }
    bool commit()
    {
        if (!open_) {
            return false;
        }
        open_ = false;
        if (exec(db_, "COMMIT")) {
            return true;
        }
        exec(db_, "ROLLBACK");
        return false;
    }

private:
    sqlite3* db_;
    bool open_;
};

int schemaVersion(sqlite3* db)
{
    Statement query(db, "PRAGMA user_version");
    return query.step() == SQLITE_ROW ? sqlite3_column_int(query.get(), 0) : -1;
}

bool createSchema(sqlite3* db)
{
    Transaction change(db);
    if (!change.open()) {
        return false;
    }
    if (schemaVersion(db) == kSchemaVersion) {
        return true;  // another process was first
    }
    bool made = exec(db,
                     "CREATE TABLE IF NOT EXISTS keys ("
                     " path TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,"
                     " parent TEXT NOT NULL COLLATE NOCASE);"
                     "CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(parent);"
                     "CREATE TABLE IF NOT EXISTS vals ("
                     " key TEXT NOT NULL COLLATE NOCASE,"
                     " name TEXT NOT NULL COLLATE NOCASE,"
                     " type INTEGER NOT NULL,"
                     " data BLOB NOT NULL,"
                     " PRIMARY KEY (key, name));"
                     "PRAGMA user_version=1;");
    return made && change.commit();
}

// Opens the store. `create`: make the file (and its folders) when missing.
// Null when there is no store (or it cannot be used).
sqlite3* openStore(bool create)
{
    std::string file = storePath();
    if (file.empty()) {
        return nullptr;
    }
    struct stat info;
    if (::stat(file.c_str(), &info) != 0) {
        if (!create) {
            return nullptr;
        }
        makeParentFolders(file);
    }
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(file.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        db = nullptr;
        if (create || sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            return nullptr;
        }
    }
    sqlite3_busy_handler(db, waitWhileBusy, nullptr);
    exec(db, "PRAGMA synchronous=FULL");
    // A rollback journal that stays between changes (its header is zeroed
    // at each commit): no journal file is made and deleted for every change,
    // which shortens the time a writer holds the store (16 writers on ext4:
    // mean call 140-200 ms instead of 180-210 ms, the slowest 1.0-1.4 s
    // instead of 1.7-2.2 s). Not a write-ahead log: every call opens a
    // connection of its own, and a first connection to a write-ahead log
    // must rebuild its index (about three times the cost of a read, and the
    // log writer reads the store for every line); it also needs shared
    // memory beside the store, which network homes and read-only openers
    // do not give.
    exec(db, "PRAGMA journal_mode=PERSIST");
    int version = schemaVersion(db);
    if (version == kSchemaVersion) {
        return db;
    }
    if (version == 0 && create && createSchema(db)) {
        return db;
    }
    // Not a store of ours (or an empty one we may not set up): for a reader
    // an empty store, so the queries simply find nothing.
    if (version == 0 && !create) {
        return db;
    }
    sqlite3_close(db);
    return nullptr;
}

// Splits a key path at '\' into its levels. A trailing '\' is allowed; an
// empty level elsewhere, or a level longer than 255 characters, is not.
bool splitPath(const char* path, std::vector<std::string>& levels)
{
    levels.clear();
    if (path == nullptr) {
        return true;  // the hive itself
    }
    std::string text(path);
    if (!text.empty() && text.back() == '\\') {
        text.pop_back();
    }
    if (text.empty()) {
        return true;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find('\\', start);
        std::string level = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (level.empty() || level.size() > kMaxKeyNameLength) {
            return false;
        }
        levels.push_back(level);
        if (end == std::string::npos) {
            return true;
        }
        start = end + 1;
    }
}

std::string joinLevels(const std::vector<std::string>& levels, std::size_t count)
{
    std::string path;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            path += '\\';
        }
        path += levels[i];
    }
    return path;
}

std::string childPath(const std::string& parent, const std::string& relative)
{
    return parent.empty() ? relative : (relative.empty() ? parent : parent + "\\" + relative);
}

// The stored spelling of `path`; false when the key does not exist. The hive
// (the empty path) always exists.
bool findKey(sqlite3* db, const std::string& path, std::string& stored)
{
    if (path.empty()) {
        stored.clear();
        return true;
    }
    Statement query(db, "SELECT path FROM keys WHERE path = ?1");
    query.text(1, path);
    if (query.step() != SQLITE_ROW) {
        return false;
    }
    const unsigned char* text = sqlite3_column_text(query.get(), 0);
    stored = text != nullptr ? reinterpret_cast<const char*>(text) : "";
    return true;
}

RegKey handleFor(sqlite3* db, const std::string& path)
{
    return new Key{db, path};
}

RegKey openKey(const char* path, bool /*fullAccess*/)
{
    std::vector<std::string> levels;
    if (!splitPath(path, levels)) {
        return nullptr;
    }
    sqlite3* db = openStore(false);
    if (db == nullptr) {
        return nullptr;
    }
    std::string stored;
    if (!findKey(db, joinLevels(levels, levels.size()), stored)) {
        sqlite3_close(db);
        return nullptr;
    }
    return handleFor(db, stored);
}

RegKey createKey(const char* path)
{
    std::vector<std::string> levels;
    if (!splitPath(path, levels)) {
        return nullptr;
    }
    sqlite3* db = openStore(true);
    if (db == nullptr) {
        return nullptr;
    }
    std::string existing;
    if (findKey(db, joinLevels(levels, levels.size()), existing)) {
        return handleFor(db, existing);  // nothing to create: no write transaction
    }
    Transaction change(db);
    bool made = change.open();
    std::string parent;  // stored spelling of the level above
    for (std::size_t i = 0; made && i < levels.size(); ++i) {
        std::string level = childPath(parent, levels[i]);
        Statement insert(db, "INSERT OR IGNORE INTO keys(path, parent) VALUES (?1, ?2)");
        made = insert.text(1, level).text(2, parent).run() && findKey(db, level, parent);
    }
    if (!made || !change.commit()) {
        sqlite3_close(db);
        return nullptr;
    }
    return handleFor(db, parent);
}

bool keyStillExists(Key* key)
{
    std::string stored;
    return findKey(key->db, key->path, stored);
}

bool queryValue(RegKey handle, const char* valueName, unsigned char* buffer, uint32_t* size)
{
    Key* key = static_cast<Key*>(handle);
    if (key == nullptr || size == nullptr) {
        return false;
    }
    Statement query(key->db, "SELECT data FROM vals WHERE key = ?1 AND name = ?2");
    query.text(1, key->path).text(2, valueName != nullptr ? valueName : "");
    if (query.step() != SQLITE_ROW) {
        return false;
    }
    const void* data = sqlite3_column_blob(query.get(), 0);
    uint32_t length = static_cast<uint32_t>(sqlite3_column_bytes(query.get(), 0));
    if (length > *size || (length > 0 && buffer == nullptr)) {
        *size = length;
        return false;
    }
    if (length > 0) {
        std::memcpy(buffer, data, length);
    }
    *size = length;
    return true;
}

bool setStringValue(RegKey handle, const char* valueName, const char* value, uint32_t bytes)
{
    Key* key = static_cast<Key*>(handle);
    if (key == nullptr || (value == nullptr && bytes > 0) || bytes > 0x7fffffffu) {
        return false;
    }
    Transaction change(key->db);
    if (!change.open() || !keyStillExists(key)) {
        return false;
    }
    Statement upsert(key->db,
                     "INSERT INTO vals(key, name, type, data) VALUES (?1, ?2, ?3, ?4)"
                     " ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    upsert.text(1, key->path).text(2, valueName != nullptr ? valueName : "").integer(3, kRegSz);
    upsert.blob(4, value, static_cast<int>(bytes));
    return upsert.run() && change.commit();
}

bool deleteKey(RegKey handle, const char* subKey)
{
    Key* key = static_cast<Key*>(handle);
    std::vector<std::string> levels;
    if (key == nullptr || subKey == nullptr || !splitPath(subKey, levels) || levels.empty()) {
        return false;
    }
    Transaction change(key->db);
    std::string stored;
    if (!change.open() || !findKey(key->db, childPath(key->path, joinLevels(levels, levels.size())), stored)) {
        return false;
    }
    Statement children(key->db, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
    if (children.text(1, stored).step() != SQLITE_DONE) {
        return false;  // it still has subkeys (or the query failed)
    }
    Statement values(key->db, "DELETE FROM vals WHERE key = ?1");
    Statement self(key->db, "DELETE FROM keys WHERE path = ?1");
    return values.text(1, stored).run() && self.text(1, stored).run() && change.commit();
}

void closeKey(RegKey handle)
{
    Key* key = static_cast<Key*>(handle);
    if (key == nullptr) {
        return;
    }
    sqlite3_close(key->db);
    delete key;
}

bool readMachineString(const char* subKey, const char* valueName, char* buffer, uint32_t size)
{
    if (buffer == nullptr || size == 0) {
        return false;
    }
    RegKey key = openKey(subKey, false);
    if (key == nullptr) {
        return false;
    }
    uint32_t length = size - 1;
    bool read = queryValue(key, valueName, reinterpret_cast<unsigned char*>(buffer), &length);
    closeKey(key);
    buffer[read ? length : 0] = '\0';
    return read;
}

}  // namespace

RegistryOps makeRegistryOps()
{
    RegistryOps table{};
    table.readMachineString = readMachineString;
    table.openKey = openKey;
    table.createKey = createKey;
    table.queryValue = queryValue;
    table.setStringValue = setStringValue;
    table.deleteKey = deleteKey;
    table.closeKey = closeKey;
    return table;
}

}  // namespace platform
}  // namespace ktu
