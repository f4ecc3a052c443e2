#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

// One profile value of a user, kept as the client sent it.
struct TEKSrvProfileValue
{
    int InfoType = 0;
    std::string Name;
    std::string Value;
};

// One row of the demo item table. Dates are kept in the compact wire forms
// (yyyymmdd, yyyymmddhhnnss) so that they travel without conversion.
struct TEKSrvItem
{
    int64_t Id = 0;
    std::string Name;
    std::string Day;
    std::string Changed;
    int64_t Quantity = 0;
    double Price = 0;
    int Category = 0;
    int64_t DocNo = 0;
    bool Active = false;
};

// The columns of the item table that sorting and filtering may name.
enum TEKSrvItemColumn
{
    eksicId,
    eksicName,
    eksicDay,
    eksicChanged,
    eksicQuantity,
    eksicPrice,
    eksicCategory,
    eksicDocNo,
    eksicActive
};

// One filter condition on the item table, already checked and converted.
struct TEKSrvItemCondition
{
    TEKSrvItemColumn Column = eksicId;
    // A contains-match on text, else equality.
    bool Contains = false;
    std::string Text;
    int64_t Integer = 0;
    double Number = 0;
};

struct TEKSrvItemQuery
{
    TEKSrvItemColumn SortColumn = eksicId;
    bool Descending = false;
    std::vector<TEKSrvItemCondition> Conditions;
};

// All data of the demo server in one SQLite file: users, profiles, the demo
// record of the free form, the item table, uploaded files and the session
// counter. Every operation reports failure by its result and leaves the data
// unchanged when it fails; nothing throws.
class TEKSrvStore
{
public:
    ~TEKSrvStore();
    TEKSrvStore(const TEKSrvStore &) = delete;
    TEKSrvStore &operator=(const TEKSrvStore &) = delete;

    // Opens the file, creating and seeding it when it holds no schema yet.
    // Returns none with a reason in error when the file cannot be used.
    static std::unique_ptr<TEKSrvStore> Open(const std::string &path, std::string &error,
                                             int itemCount = 20000);

    // The user id when name and password match a user.
    std::optional<int> CheckUser(const std::string &name, const std::string &password);
    std::string UserName(int userId);
    // A number unique over the life of the file, for the login answer.
    int64_t NextSessionSeq();

    std::vector<TEKSrvProfileValue> LoadProfile(int userId);
    // Replaces the whole stored profile of the user.
    bool SaveProfile(int userId, const std::vector<TEKSrvProfileValue> &values);

    // The demo record: wire text of each field by field id.
    std::map<int, std::string> LoadRecord();
    bool SaveRecord(const std::map<int, std::string> &values);

    int64_t CountItems(const TEKSrvItemQuery &query);
    std::vector<TEKSrvItem> QueryItems(const TEKSrvItemQuery &query, int64_t offset, int64_t limit);
    std::optional<TEKSrvItem> GetItem(int64_t id);
    // Adds an item and returns its id, or 0 on failure.
    int64_t InsertItem(const TEKSrvItem &item);
    bool DeleteItem(int64_t id);

    // Stores an uploaded file; returns its id, or 0 on failure.
    int64_t StoreUpload(int userId, const std::string &fileName, const std::string &bytes);
    // The name and size of the latest upload of the user.
    std::optional<std::pair<std::string, int64_t>> LatestUpload(int userId);

    std::string Path() const { return FPath; }
    static std::string EngineVersion();

private:
    TEKSrvStore() = default;
    bool Exec(const char *sql);
    bool CreateAndSeed(int itemCount, std::string &error);

    sqlite3 *FDb = nullptr;
    std::string FPath;
};
