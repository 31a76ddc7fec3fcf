#include "pg_session.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <endian.h>

#include "hive_sql.h"
#include "registry_hold.h"

namespace platform::registry {

namespace {

// Taken while the schema is made, so two first writers do not both make it.
constexpr int64_t kSchemaLock = 0x50524547;

const char* const kStatements[] = {
    "SELECT id, version, schema FROM pellicor_hive",
    // A writer's first statement: the row lock orders writers as SQLite's write lock does.
    "UPDATE pellicor_hive SET version = version + 1 RETURNING version",
    "SELECT pg_notify('pellicor_hive', $1::text)",
    "SELECT written FROM pellicor_keys WHERE id = $1",
    "SELECT id FROM pellicor_keys WHERE parent = $1 AND folded = $2",
    "SELECT name, type, data FROM pellicor_values WHERE key = $1 ORDER BY id",
    "SELECT name, written FROM pellicor_keys WHERE parent = $1 ORDER BY id",
    "INSERT INTO pellicor_keys(parent, name, folded, written) VALUES($1, $2, $3, $4) RETURNING id",
    // Rises with every change, whatever the writer's clock says: readers tell a changed key by it.
    "UPDATE pellicor_keys SET written = greatest($2, written + 1) WHERE id = $1",
    // Overwriting keeps the first-written name and the value's place in the order.
    ("INSERT INTO pellicor_values(key, name, folded, type, data) VALUES($1, $2, $3, $4, $5)"
     " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data"),
    "DELETE FROM pellicor_values WHERE key = $1 AND folded = $2",
    "SELECT 1 FROM pellicor_keys WHERE parent = $1 LIMIT 1",
    "DELETE FROM pellicor_values WHERE key = $1",
    "DELETE FROM pellicor_keys WHERE id = $1",
    "SELECT id, parent, name, folded, written FROM pellicor_keys ORDER BY id",
    // In creation order, which is each key's order: the primary key's index, no sort.
    "SELECT key, name, type, data FROM pellicor_values ORDER BY id",
};
static_assert(std::size(kStatements) == PgSession::kStmtCount);

std::string firstLine(const char* message) {
    std::string line = message ? message : "";
    auto end = line.find('\n');
    if (end != std::string::npos) line.resize(end);
    return line;
}

}  // namespace

namespace {
std::atomic<void (*)(const char*)> registryLog{nullptr};
}  // namespace

void SetRegistryLog(void (*log)(const char* line)) { registryLog = log; }

void pgLog(const std::string& line) {
    if (auto log = registryLog.load()) return log(line.c_str());
    std::fprintf(stderr, "pellicor registry: %s\n", line.c_str());
}

int64_t pgInt(const PGresult* r, int row, int column) {
    uint64_t big = 0;
    std::memcpy(&big, PQgetvalue(r, row, column), std::min<size_t>(8, PQgetlength(r, row, column)));
    return static_cast<int64_t>(be64toh(big));
}

std::string_view pgBytes(const PGresult* r, int row, int column) {
    return {PQgetvalue(r, row, column), static_cast<size_t>(PQgetlength(r, row, column))};
}

LSTATUS pgStatusOf(const PGresult* result, const PGconn* conn) {
    if (!conn || PQstatus(conn) != CONNECTION_OK) return ERROR_REGISTRY_IO_FAILED;
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    if (!state) return ERROR_REGISTRY_IO_FAILED;
    std::string_view code(state);
    if (code == "42501" || code == "25006") return ERROR_ACCESS_DENIED;  // no privilege; a read-only standby
    if (code == "40001" || code == "40P01" || code == "55P03") return ERROR_LOCK_VIOLATION;
    if (code == "53100") return ERROR_CANTWRITE;
    if (code == "53200") return ERROR_NOT_ENOUGH_MEMORY;
    if (code == "54000" || code.starts_with("22")) return ERROR_INVALID_PARAMETER;
    return ERROR_REGISTRY_IO_FAILED;
}

namespace {

bool namesPassword(const std::string& uri) {
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), nullptr);
    if (!options) return false;  // not a URI libpq reads: connecting says why
    bool found = false;
    for (auto* o = options; o->keyword; ++o)
        if (std::string_view(o->keyword) == "password" && o->val && *o->val) found = true;
    PQconninfoFree(options);
    return found;
}

}  // namespace

LSTATUS PgSession::connect() {
    if (connected()) return ERROR_SUCCESS;
    disconnect();
    if (namesPassword(uri_)) {
        error_ =
            "the rules database's location names a password: keep it in libpq's password file "
            "(~/.pgpass, or PGPASSFILE) instead";
        pgLog(error_);
        return ERROR_ACCESS_DENIED;
    }
    // The URI's own settings (a password file, sslmode, a service) come last and win.
    const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {"5", "pellicor", uri_.c_str(), nullptr};
    conn_.reset(PQconnectdbParams(keys, values, 1));
    if (!conn_ || PQstatus(conn_.get()) != CONNECTION_OK) {
        error_ = conn_ ? firstLine(PQerrorMessage(conn_.get())) : "out of memory";
        conn_.reset();
        return ERROR_REGISTRY_IO_FAILED;
    }
    // A warning or error the server sends between answers (it is shutting down, say)
    // goes where the host logs, not to a standard error a daemon may not have; its
    // notices (a table that already exists, skipped) are for no one.
    PQsetNoticeReceiver(
        conn_.get(),
        [](void*, const PGresult* notice) {
            const char* severity = PQresultErrorField(notice, PG_DIAG_SEVERITY_NONLOCALIZED);
            std::string_view level = severity ? severity : "";
            if (level == "NOTICE" || level == "INFO" || level == "DEBUG" || level == "LOG") return;
            pgLog("the rules database says: " + firstLine(PQresultErrorMessage(notice)));
        },
        nullptr);
    return ERROR_SUCCESS;
}

LSTATUS PgSession::failed(PGresult* result) {
    error_ = firstLine(result ? PQresultErrorMessage(result) : PQerrorMessage(conn_.get()));
    if (error_.empty() && conn_) error_ = firstLine(PQerrorMessage(conn_.get()));
    LSTATUS status = pgStatusOf(result, conn_.get());
    if (conn_ && PQstatus(conn_.get()) != CONNECTION_OK) disconnect();
    return status;
}

LSTATUS PgSession::exec(const char* sql) {
    if (!connected()) return ERROR_REGISTRY_IO_FAILED;
    PgResult r(PQexec(conn_.get(), sql));
    auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK ? ERROR_SUCCESS : failed(r.get());
}

LSTATUS PgSession::checkSchema(bool& exists) {
    exists = false;
    if (!connected()) return ERROR_REGISTRY_IO_FAILED;
    PgResult r(PQexec(conn_.get(), "SELECT to_regclass('pellicor_hive') IS NOT NULL"));
    if (!r || PQresultStatus(r.get()) != PGRES_TUPLES_OK) return failed(r.get());
    if (std::string_view(PQgetvalue(r.get(), 0, 0)) != "t") return ERROR_SUCCESS;
    r.reset(PQexec(conn_.get(), "SELECT schema FROM pellicor_hive"));
    if (!r || PQresultStatus(r.get()) != PGRES_TUPLES_OK) return failed(r.get());
    if (PQntuples(r.get()) != 1) {
        error_ = "the table pellicor_hive must hold one row; it holds " + std::to_string(PQntuples(r.get()));
        pgLog(error_);
        return ERROR_BADDB;
    }
    std::string version = PQgetvalue(r.get(), 0, 0);
    if (version != std::to_string(kPgSchemaVersion)) {
        error_ = "the rules database has schema version " + version + "; this program knows only version " +
                 std::to_string(kPgSchemaVersion) + " and leaves it alone";
        pgLog(error_);
        return ERROR_BADDB;
    }
    exists = true;
    return prepareStatements();
}

LSTATUS PgSession::createSchema() {
    std::string sql =
        "BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLock) +
        ");"
        "CREATE TABLE IF NOT EXISTS pellicor_hive(id bigint NOT NULL, version bigint NOT NULL, schema bigint NOT NULL);"
        "INSERT INTO pellicor_hive SELECT floor(random() * 9.2e18)::bigint, 1, " +
        std::to_string(kPgSchemaVersion) +
        " WHERE NOT EXISTS (SELECT 1 FROM pellicor_hive);"
        "CREATE TABLE IF NOT EXISTS pellicor_keys(id bigserial PRIMARY KEY, parent bigint NOT NULL,"
        " name bytea NOT NULL, folded bytea NOT NULL, written bigint NOT NULL, UNIQUE(parent, folded));"
        "INSERT INTO pellicor_keys(id, parent, name, folded, written) VALUES(0, -1, '', '', " +
        std::to_string(now()) +
        ") ON CONFLICT DO NOTHING;"
        "CREATE TABLE IF NOT EXISTS pellicor_values(id bigserial PRIMARY KEY, key bigint NOT NULL,"
        " name bytea NOT NULL, folded bytea NOT NULL, type bigint NOT NULL, data bytea NOT NULL,"
        " UNIQUE(key, folded));"
        "COMMIT;";
    LSTATUS rc = exec(sql.c_str());
    if (rc != ERROR_SUCCESS) {
        if (connected()) exec("ROLLBACK");
        pgLog("cannot make the hive's tables: " + error_);
    }
    return rc;
}

LSTATUS PgSession::prepareStatements() {
    if (prepared_) return ERROR_SUCCESS;
    for (int i = 0; i < kStmtCount; ++i) {
        std::string name = "pellicor_" + std::to_string(i);
        PgResult r(PQprepare(conn_.get(), name.c_str(), kStatements[i], 0, nullptr));
        if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) return failed(r.get());
    }
    prepared_ = true;
    return ERROR_SUCCESS;
}

LSTATUS PgSession::run(Stmt s, std::initializer_list<Param> params, PgResult& result) {
    if (!connected() || !prepared_) return ERROR_REGISTRY_IO_FAILED;
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const auto& p : params) {
        values.push_back(p.text.data());
        lengths.push_back(static_cast<int>(p.text.size()));
        formats.push_back(p.binary ? 1 : 0);
    }
    std::string name = "pellicor_" + std::to_string(s);
    result.reset(PQexecPrepared(conn_.get(), name.c_str(), static_cast<int>(values.size()), values.data(),
                                lengths.data(), formats.data(), 1));
    auto status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK ? ERROR_SUCCESS : failed(result.get());
}

}  // namespace platform::registry
