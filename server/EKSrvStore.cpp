#include "EKSrvStore.h"

#include <sqlite3.h>

#include <cstdio>

namespace {

// A prepared statement that finalizes itself.
class Stmt
{
public:
    Stmt(sqlite3 *db, const std::string &sql)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &FStmt, nullptr) != SQLITE_OK)
            FStmt = nullptr;
    }
    ~Stmt() { sqlite3_finalize(FStmt); }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;

    bool Ok() const { return FStmt != nullptr; }
    void Bind(int i, int64_t v) { sqlite3_bind_int64(FStmt, i, v); }
    void Bind(int i, double v) { sqlite3_bind_double(FStmt, i, v); }
    void Bind(int i, const std::string &v)
    {
        sqlite3_bind_text(FStmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    void BindBlob(int i, const std::string &v)
    {
        sqlite3_bind_blob(FStmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return FStmt ? sqlite3_step(FStmt) : SQLITE_ERROR; }
    bool Run() { return Step() == SQLITE_DONE; }
    void Reset()
    {
        sqlite3_reset(FStmt);
        sqlite3_clear_bindings(FStmt);
    }
    int64_t Int(int c) { return sqlite3_column_int64(FStmt, c); }
    double Real(int c) { return sqlite3_column_double(FStmt, c); }
    std::string Text(int c)
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(FStmt, c));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(FStmt, c)))
                 : std::string();
    }

private:
    sqlite3_stmt *FStmt = nullptr;
};

// Rolls back unless committed, so an early return leaves the file unchanged.
class Transaction
{
public:
    explicit Transaction(sqlite3 *db) : FDb(db)
    {
        FOpen = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Transaction()
    {
        if (FOpen)
            sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    bool Ok() const { return FOpen; }
    bool Commit()
    {
        if (!FOpen)
            return false;
        FOpen = false;
        return sqlite3_exec(FDb, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    }

private:
    sqlite3 *FDb;
    bool FOpen = false;
};

const char *ColumnSql(TEKSrvItemColumn c)
{
    switch (c) {
    case eksicId:
        return "id";
    case eksicName:
        return "name";
    case eksicDay:
        return "day";
    case eksicChanged:
        return "changed";
    case eksicQuantity:
        return "qty";
    case eksicPrice:
        return "price";
    case eksicCategory:
        return "category";
    case eksicDocNo:
        return "docno";
    case eksicActive:
        return "active";
    }
    return "id";
}

// The WHERE clause of a query; values are bound in condition order by BindWhere.
std::string WhereSql(const TEKSrvItemQuery &q)
{
    std::string sql;
    for (const auto &c : q.Conditions) {
        sql += sql.empty() ? " WHERE " : " AND ";
        if (c.Contains) {
            sql += std::string(ColumnSql(c.Column)) + " LIKE ? ESCAPE '\\'";
        } else if (c.Column == eksicChanged) {
            sql += "substr(changed, 1, 8) = ?";
        } else if (c.Column == eksicPrice) {
            // Prices are kept to the cent; comparing cents avoids binary fractions.
            sql += "round(price * 100) = round(? * 100)";
        } else {
            sql += std::string(ColumnSql(c.Column)) + " = ?";
        }
    }
    return sql;
}

std::string LikePattern(const std::string &text)
{
    std::string p = "%";
    for (char ch : text) {
        if (ch == '%' || ch == '_' || ch == '\\')
            p += '\\';
        p += ch;
    }
    return p + "%";
}

void BindWhere(Stmt &st, const TEKSrvItemQuery &q)
{
    int i = 1;
    for (const auto &c : q.Conditions) {
        if (c.Contains)
            st.Bind(i, LikePattern(c.Text));
        else if (c.Column == eksicDay || c.Column == eksicChanged || c.Column == eksicName)
            st.Bind(i, c.Text);
        else if (c.Column == eksicPrice)
            st.Bind(i, c.Number);
        else
            st.Bind(i, c.Integer);
        ++i;
    }
}

TEKSrvItem ReadItem(Stmt &st)
{
    TEKSrvItem it;
    it.Id = st.Int(0);
    it.Name = st.Text(1);
    it.Day = st.Text(2);
    it.Changed = st.Text(3);
    it.Quantity = st.Int(4);
    it.Price = st.Real(5);
    it.Category = static_cast<int>(st.Int(6));
    it.DocNo = st.Int(7);
    it.Active = st.Int(8) != 0;
    return it;
}

const char *kItemColumns = "id, name, day, changed, qty, price, category, docno, active";

const char *kSchema = R"sql(
CREATE TABLE meta (key TEXT PRIMARY KEY, value INTEGER NOT NULL);
CREATE TABLE users (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, password TEXT NOT NULL);
CREATE TABLE profile (userid INTEGER NOT NULL, ord INTEGER NOT NULL, infotype INTEGER NOT NULL,
                      name TEXT NOT NULL, value TEXT NOT NULL, PRIMARY KEY (userid, ord));
CREATE TABLE record (fieldid INTEGER PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT NOT NULL, day TEXT NOT NULL,
                    changed TEXT NOT NULL, qty INTEGER NOT NULL, price REAL NOT NULL,
                    category INTEGER NOT NULL, docno INTEGER NOT NULL, active INTEGER NOT NULL);
CREATE TABLE uploads (id INTEGER PRIMARY KEY, userid INTEGER NOT NULL, filename TEXT NOT NULL,
                      data BLOB NOT NULL);
INSERT INTO meta VALUES ('sessionseq', 0);
INSERT INTO users (name, password) VALUES ('demo', 'demo'), ('anna', 'anna'),
                                          ('jiří', 'heslo');
)sql";

// Deterministic pseudo-random numbers, so every fresh database holds the same rows.
struct Lcg
{
    uint64_t State = 20121231;
    uint32_t Next(uint32_t range)
    {
        State = State * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>((State >> 33) % range);
    }
};

const char *const kWords[] = {"žlutý", "kůň",   "table", "chair", "lamp",   "řeřicha", "ďábel",
                              "motor", "valve", "pump",  "šroub", "matice", "cable",   "úhel"};

std::string TwoDigits(int v)
{
    char b[4];
    std::snprintf(b, sizeof b, "%02d", v % 100);
    return b;
}

} // namespace

TEKSrvStore::~TEKSrvStore()
{
    sqlite3_close(FDb);
}

std::unique_ptr<TEKSrvStore> TEKSrvStore::Open(const std::string &path, std::string &error,
                                               int itemCount)
{
    std::unique_ptr<TEKSrvStore> store(new TEKSrvStore);
    store->FPath = path;
    if (sqlite3_open_v2(path.c_str(), &store->FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        error = "cannot open database " + path + ": " +
                (store->FDb ? sqlite3_errmsg(store->FDb) : "out of memory");
        return nullptr;
    }
    sqlite3_busy_timeout(store->FDb, 5000);
    bool hasSchema = false;
    {
        Stmt st(store->FDb, "SELECT count(*) FROM sqlite_master WHERE name = 'meta'");
        if (!st.Ok() || st.Step() != SQLITE_ROW) {
            error = "not a database: " + path;
            return nullptr;
        }
        hasSchema = st.Int(0) > 0;
    }
    if (!hasSchema && !store->CreateAndSeed(itemCount, error))
        return nullptr;
    return store;
}

bool TEKSrvStore::Exec(const char *sql)
{
    return sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool TEKSrvStore::CreateAndSeed(int itemCount, std::string &error)
{
    Transaction tr(FDb);
    if (!tr.Ok() || !Exec(kSchema)) {
        error = std::string("cannot create the schema: ") + sqlite3_errmsg(FDb);
        return false;
    }
    Stmt ins(FDb, std::string("INSERT INTO items (") + kItemColumns +
                      ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    if (!ins.Ok()) {
        error = std::string("cannot prepare the seed: ") + sqlite3_errmsg(FDb);
        return false;
    }
    Lcg rnd;
    constexpr int nWords = sizeof kWords / sizeof kWords[0];
    for (int i = 1; i <= itemCount; ++i) {
        const int year = 2010 + static_cast<int>(rnd.Next(6));
        const int month = 1 + static_cast<int>(rnd.Next(12));
        const int day = 1 + static_cast<int>(rnd.Next(28));
        const std::string date = std::to_string(year) + TwoDigits(month) + TwoDigits(day);
        ins.Bind(1, static_cast<int64_t>(i));
        ins.Bind(2, std::string(kWords[rnd.Next(nWords)]) + " " + kWords[rnd.Next(nWords)] + " " +
                        std::to_string(i));
        ins.Bind(3, date);
        ins.Bind(4, date + TwoDigits(static_cast<int>(rnd.Next(24))) +
                        TwoDigits(static_cast<int>(rnd.Next(60))) +
                        TwoDigits(static_cast<int>(rnd.Next(60))));
        ins.Bind(5, static_cast<int64_t>(rnd.Next(1000)));
        ins.Bind(6, static_cast<double>(rnd.Next(100000)) / 100.0);
        ins.Bind(7, static_cast<int64_t>(1 + rnd.Next(5)));
        ins.Bind(8, static_cast<int64_t>(static_cast<int64_t>(year) * 10000000000LL + i));
        ins.Bind(9, static_cast<int64_t>(rnd.Next(2)));
        if (!ins.Run()) {
            error = std::string("cannot seed the items: ") + sqlite3_errmsg(FDb);
            return false;
        }
        ins.Reset();
    }
    if (!tr.Commit()) {
        error = std::string("cannot commit the seed: ") + sqlite3_errmsg(FDb);
        return false;
    }
    return true;
}

std::optional<int> TEKSrvStore::CheckUser(const std::string &name, const std::string &password)
{
    Stmt st(FDb, "SELECT id FROM users WHERE name = ? AND password = ?");
    st.Bind(1, name);
    st.Bind(2, password);
    if (st.Step() != SQLITE_ROW)
        return std::nullopt;
    return static_cast<int>(st.Int(0));
}

std::string TEKSrvStore::UserName(int userId)
{
    Stmt st(FDb, "SELECT name FROM users WHERE id = ?");
    st.Bind(1, static_cast<int64_t>(userId));
    return st.Step() == SQLITE_ROW ? st.Text(0) : std::string();
}

int64_t TEKSrvStore::NextSessionSeq()
{
    Transaction tr(FDb);
    Stmt up(FDb, "UPDATE meta SET value = value + 1 WHERE key = 'sessionseq'");
    Stmt get(FDb, "SELECT value FROM meta WHERE key = 'sessionseq'");
    if (!tr.Ok() || !up.Run() || get.Step() != SQLITE_ROW)
        return 0;
    const int64_t seq = get.Int(0);
    return tr.Commit() ? seq : 0;
}

std::vector<TEKSrvProfileValue> TEKSrvStore::LoadProfile(int userId)
{
    std::vector<TEKSrvProfileValue> out;
    Stmt st(FDb, "SELECT infotype, name, value FROM profile WHERE userid = ? ORDER BY ord");
    st.Bind(1, static_cast<int64_t>(userId));
    while (st.Step() == SQLITE_ROW)
        out.push_back({static_cast<int>(st.Int(0)), st.Text(1), st.Text(2)});
    return out;
}

bool TEKSrvStore::SaveProfile(int userId, const std::vector<TEKSrvProfileValue> &values)
{
    Transaction tr(FDb);
    Stmt del(FDb, "DELETE FROM profile WHERE userid = ?");
    Stmt ins(FDb, "INSERT INTO profile VALUES (?, ?, ?, ?, ?)");
    if (!tr.Ok() || !ins.Ok())
        return false;
    del.Bind(1, static_cast<int64_t>(userId));
    if (!del.Run())
        return false;
    int64_t ord = 0;
    for (const auto &v : values) {
        ins.Bind(1, static_cast<int64_t>(userId));
        ins.Bind(2, ++ord);
        ins.Bind(3, static_cast<int64_t>(v.InfoType));
        ins.Bind(4, v.Name);
        ins.Bind(5, v.Value);
        if (!ins.Run())
            return false;
        ins.Reset();
    }
    return tr.Commit();
}

std::map<int, std::string> TEKSrvStore::LoadRecord()
{
    std::map<int, std::string> out;
    Stmt st(FDb, "SELECT fieldid, value FROM record");
    while (st.Step() == SQLITE_ROW)
        out[static_cast<int>(st.Int(0))] = st.Text(1);
    return out;
}

bool TEKSrvStore::SaveRecord(const std::map<int, std::string> &values)
{
    Transaction tr(FDb);
    Stmt ins(FDb, "INSERT OR REPLACE INTO record VALUES (?, ?)");
    if (!tr.Ok() || !ins.Ok())
        return false;
    for (const auto &[id, value] : values) {
        ins.Bind(1, static_cast<int64_t>(id));
        ins.Bind(2, value);
        if (!ins.Run())
            return false;
        ins.Reset();
    }
    return tr.Commit();
}

int64_t TEKSrvStore::CountItems(const TEKSrvItemQuery &query)
{
    Stmt st(FDb, "SELECT count(*) FROM items" + WhereSql(query));
    BindWhere(st, query);
    return st.Step() == SQLITE_ROW ? st.Int(0) : 0;
}

std::vector<TEKSrvItem> TEKSrvStore::QueryItems(const TEKSrvItemQuery &query, int64_t offset,
                                                int64_t limit)
{
    const char *dir = query.Descending ? " DESC" : "";
    // The id as the last key makes the order total, so chunks never overlap.
    Stmt st(FDb, std::string("SELECT ") + kItemColumns + " FROM items" + WhereSql(query) +
                     " ORDER BY " + ColumnSql(query.SortColumn) + dir + ", id" + dir +
                     " LIMIT ? OFFSET ?");
    BindWhere(st, query);
    const int n = static_cast<int>(query.Conditions.size());
    st.Bind(n + 1, limit);
    st.Bind(n + 2, offset);
    std::vector<TEKSrvItem> out;
    while (st.Step() == SQLITE_ROW)
        out.push_back(ReadItem(st));
    return out;
}

std::optional<TEKSrvItem> TEKSrvStore::GetItem(int64_t id)
{
    Stmt st(FDb, std::string("SELECT ") + kItemColumns + " FROM items WHERE id = ?");
    st.Bind(1, id);
    if (st.Step() != SQLITE_ROW)
        return std::nullopt;
    return ReadItem(st);
}

int64_t TEKSrvStore::InsertItem(const TEKSrvItem &item)
{
    Stmt st(FDb, "INSERT INTO items (name, day, changed, qty, price, category, docno, active) "
                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    st.Bind(1, item.Name);
    st.Bind(2, item.Day);
    st.Bind(3, item.Changed);
    st.Bind(4, item.Quantity);
    st.Bind(5, item.Price);
    st.Bind(6, static_cast<int64_t>(item.Category));
    st.Bind(7, item.DocNo);
    st.Bind(8, static_cast<int64_t>(item.Active ? 1 : 0));
    return st.Run() ? sqlite3_last_insert_rowid(FDb) : 0;
}

bool TEKSrvStore::DeleteItem(int64_t id)
{
    Stmt st(FDb, "DELETE FROM items WHERE id = ?");
    st.Bind(1, id);
    return st.Run() && sqlite3_changes(FDb) > 0;
}

int64_t TEKSrvStore::StoreUpload(int userId, const std::string &fileName, const std::string &bytes)
{
    Stmt st(FDb, "INSERT INTO uploads (userid, filename, data) VALUES (?, ?, ?)");
    st.Bind(1, static_cast<int64_t>(userId));
    st.Bind(2, fileName);
    st.BindBlob(3, bytes);
    return st.Run() ? sqlite3_last_insert_rowid(FDb) : 0;
}

std::optional<std::pair<std::string, int64_t>> TEKSrvStore::LatestUpload(int userId)
{
    Stmt st(FDb, "SELECT filename, length(data) FROM uploads WHERE userid = ? "
                 "ORDER BY id DESC LIMIT 1");
    st.Bind(1, static_cast<int64_t>(userId));
    if (st.Step() != SQLITE_ROW)
        return std::nullopt;
    return std::make_pair(st.Text(0), st.Int(1));
}

std::string TEKSrvStore::EngineVersion()
{
    return sqlite3_libversion();
}
