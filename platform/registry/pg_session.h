// One libpq connection to a hive database, with the hive's statements prepared on
// it. Everything it sends is a prepared statement whose input travels as parameters
// (names and data never become SQL), except the fixed text of the schema.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <libpq-fe.h>

#include "winreg.h"

namespace platform::registry {

struct PgConnCloser {
    void operator()(PGconn* c) const { PQfinish(c); }
};
struct PgResultClearer {
    void operator()(PGresult* r) const { PQclear(r); }
};
using PgConn = std::unique_ptr<PGconn, PgConnCloser>;
using PgResult = std::unique_ptr<PGresult, PgResultClearer>;

// The schema this program reads and writes; a database of another is refused.
constexpr int64_t kPgSchemaVersion = 1;

// The channel a writer notifies with the version it committed.
inline constexpr const char* kPgChannel = "pellicor_hive";

class PgSession {
public:
    enum Stmt {
        kVersion,
        kLockVersion,
        kNotify,
        kKeyById,
        kChild,
        kValues,
        kSubkeys,
        kInsertKey,
        kTouchKey,
        kSetValue,
        kDeleteValue,
        kHasChildren,
        kDeleteValuesOf,
        kDeleteKey,
        kAllKeys,
        kAllValues,
        kStmtCount
    };

    // A parameter: an integer, or bytes (names, data).
    struct Param {
        Param(int64_t n) : text(std::to_string(n)), binary(false) {}
        Param(std::string_view bytes) : text(bytes), binary(true) {}
        Param(const std::string& bytes) : text(bytes), binary(true) {}
        std::string text;
        bool binary;
    };

    explicit PgSession(std::string uri) : uri_(std::move(uri)) {}

    // Connects (blocking) if not connected; ERROR_SUCCESS when the connection is usable.
    LSTATUS connect();
    bool connected() const { return conn_ && PQstatus(conn_.get()) == CONNECTION_OK; }
    void disconnect() { conn_.reset(); prepared_ = false; }
    PGconn* raw() const { return conn_.get(); }

    // Whether the hive's tables exist (false in an empty database), and their schema
    // version matches this program's; refuses another version in words.
    LSTATUS checkSchema(bool& exists);
    // Makes the tables in an empty database (whichever writer comes first).
    LSTATUS createSchema();

    // Runs a prepared statement; results come in binary form.
    LSTATUS run(Stmt s, std::initializer_list<Param> params, PgResult& result);
    LSTATUS run(Stmt s, std::initializer_list<Param> params) {
        PgResult ignored;
        return run(s, params, ignored);
    }
    // Fixed SQL without parameters (BEGIN, COMMIT, SAVEPOINT ...).
    LSTATUS exec(const char* sql);

    // The server's last message, one line, for a log.
    std::string lastError() const { return error_; }

private:
    LSTATUS prepareStatements();
    LSTATUS failed(PGresult* result);

    std::string uri_;
    PgConn conn_;
    bool prepared_ = false;
    std::string error_;
};

// Reading binary results.
int64_t pgInt(const PGresult* r, int row, int column);
std::string_view pgBytes(const PGresult* r, int row, int column);

// The registry's status for a failed command: by SQLSTATE, or a lost connection.
LSTATUS pgStatusOf(const PGresult* result, const PGconn* conn);

// What is logged about the database: to standard error, one line each.
void pgLog(const std::string& line);

}  // namespace platform::registry
