// A fresh hive in either store, named by PELLICOR_REGISTRY while it lives: a file in
// a temporary folder, or a new database on the tests' PostgreSQL server (started by
// the postgres fixture; PELLICOR_TEST_POSTGRES names its folder), dropped afterwards.
#pragma once
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>

#include <libpq-fe.h>
#include <unistd.h>

#include "temp_hive.h"

enum class HiveStore { File, Database };

inline std::string storeName(HiveStore store) { return store == HiveStore::File ? "File" : "Database"; }

class StoreHive {
public:
    explicit StoreHive(HiveStore store) {
        if (store == HiveStore::File) {
            location_ = files_.path().string();
            return;
        }
        const char* server = std::getenv("PELLICOR_TEST_POSTGRES");
        if (!server || !*server) {
            error_ = "PELLICOR_TEST_POSTGRES is not set: run the tests through ctest, whose postgres fixture starts "
                     "the server (tests/support/postgres_server.sh)";
            return;
        }
        server_ = server;
        static std::atomic<int> made{0};
        database_ = "pellicor_t" + std::to_string(getpid()) + "_" + std::to_string(++made);
        if (!sql("postgres", "CREATE DATABASE " + database_ + " OWNER pellicor_writer") ||
            !sql(database_, "ALTER DEFAULT PRIVILEGES FOR ROLE pellicor_writer GRANT SELECT ON TABLES TO pellicor_reader"))
            return;
        location_ = uri(database_, "pellicor_writer");
        setenv("PELLICOR_REGISTRY", location_.c_str(), 1);
    }
    ~StoreHive() {
        if (!database_.empty() && !location_.empty()) {
            unsetenv("PELLICOR_REGISTRY");
            sql("postgres", "DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
        }
    }
    StoreHive(const StoreHive&) = delete;
    StoreHive& operator=(const StoreHive&) = delete;

    // Empty when the hive is ready; else why not, in words.
    const std::string& error() const { return error_; }
    bool database() const { return !database_.empty(); }
    // The database's name (a database only).
    const std::string& name() const { return database_; }
    // PELLICOR_REGISTRY's value; for a database the writing role's URI.
    const std::string& location() const { return location_; }
    // The read-only role's URI (a database only).
    std::string readerLocation() const { return uri(database_, "pellicor_reader"); }
    // A folder for the test's own files.
    const std::filesystem::path& folder() const { return files_.folder(); }

    // Runs SQL on the hive's database (or another) as the server's administrator.
    bool sql(const std::string& database, const std::string& statement) {
        std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(uri(database, "pellicor_admin").c_str()),
                                                           &PQfinish);
        if (PQstatus(conn.get()) != CONNECTION_OK) {
            error_ = "cannot reach the tests' PostgreSQL server: " + std::string(PQerrorMessage(conn.get()));
            return false;
        }
        std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn.get(), statement.c_str()), &PQclear);
        auto status = PQresultStatus(r.get());
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return true;
        error_ = statement + ": " + PQresultErrorMessage(r.get());
        return false;
    }
    bool sql(const std::string& statement) { return sql(database_, statement); }

private:
    std::string uri(const std::string& database, const char* role) const {
        return "postgresql:///" + database + "?host=" + server_ + "&user=" + role;
    }

    TempHive files_;  // sets PELLICOR_REGISTRY to its file; a database hive sets it anew
    std::string server_, database_, location_, error_;
};

// The parameter name gtest prints for a store.
struct StoreNamer {
    template <class Info>
    std::string operator()(const Info& info) const {
        return storeName(info.param);
    }
};
