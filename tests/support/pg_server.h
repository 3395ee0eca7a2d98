#pragma once
// A PostgreSQL server of the test program's own: made with initdb in a fresh
// temporary folder, listening only on a Unix socket in that folder, stopped
// and removed when the program ends. initdb refuses to run as root, so as
// root both initdb and pg_ctl run as the "postgres" system user.
//
//   ::testing::AddGlobalTestEnvironment(new tarnel::test::PgServerEnvironment);
//   std::string uri = tarnel::test::PgServer::uri("club");
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <glob.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnel::test {

class PgServer {
public:
    // The socket folder; empty while no server runs.
    static std::string& socketFolder()
    {
        static std::string folder;
        return folder;
    }
    static std::string& lastError()
    {
        static std::string error;
        return error;
    }

    // A connection URI for a database of the running server.
    static std::string uri(const std::string& database = "postgres")
    {
        return "postgresql:///" + database + "?host=" + socketFolder() + "&user=postgres";
    }

    // The server's programs folder: where Debian puts the newest version, else PATH.
    static std::string binFolder()
    {
        glob_t g {};
        std::string found;
        if (::glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &g) == 0 && g.gl_pathc > 0)
            found = std::filesystem::path(g.gl_pathv[g.gl_pathc - 1]).parent_path().string() + "/";
        ::globfree(&g);
        return found;
    }

    // Runs a server program, as "postgres" when we are root.
    static int run(const std::string& command)
    {
        std::string line = ::geteuid() == 0 ? "runuser -u postgres -- " + command : command;
        return std::system((line + " >>" + base_ + "/setup.log 2>&1").c_str());
    }

    static bool start()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tarnel-pg-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) return fail("cannot make a temporary folder");
        base_ = tmpl;
        if (::geteuid() == 0) {
            passwd* pw = ::getpwnam("postgres");
            if (!pw) return fail("there is no postgres system user");
            if (::chown(base_.c_str(), pw->pw_uid, pw->pw_gid) != 0) return fail("cannot give the folder to postgres");
        }
        ::chmod(base_.c_str(), 0755);
        std::string bin = binFolder();
        if (run(bin + "initdb -D " + base_ + "/data -U postgres -A trust -E UTF8 --locale=C --no-sync") != 0)
            return fail("initdb failed");
        return restart();
    }

    // Stops the server (immediately: the data is thrown away anyway).
    static void stop()
    {
        if (base_.empty()) return;
        if (!socketFolder().empty()) run(binFolder() + "pg_ctl -D " + base_ + "/data -m immediate -w stop");
        socketFolder().clear();
    }

    static void remove()
    {
        stop();
        std::error_code ec;
        if (!base_.empty()) std::filesystem::remove_all(base_, ec);
        base_.clear();
    }

    // Starts the server on its folder (again, after stop()).
    static bool restart()
    {
        std::string options = "-c listen_addresses= -k " + base_ + " -c fsync=off -c max_connections=40";
        if (run(binFolder() + "pg_ctl -D " + base_ + "/data -l " + base_ + "/server.log -w -t 60 -o \"" +
                options + "\" start") != 0)
            return fail("pg_ctl start failed");
        socketFolder() = base_;
        return true;
    }

    // From now on the role `user` must give its password (scram), whatever
    // the trust the other roles enjoy.
    static bool requirePassword(const std::string& user)
    {
        const std::string hba = base_ + "/data/pg_hba.conf";
        std::string old;
        {
            std::ifstream in(hba);
            old.assign(std::istreambuf_iterator<char>(in), {});
        }
        std::ofstream out(hba, std::ios::trunc);
        out << "local all " << user << " scram-sha-256\n" << old;
        out.close();
        if (!out || run(binFolder() + "pg_ctl -D " + base_ + "/data reload") != 0) return fail("cannot reload");
        ::usleep(500000);   // the server reads the file when the signal reaches it
        return true;
    }

private:
    static bool fail(const std::string& what)
    {
        lastError() = what + " (see " + base_ + "/setup.log)";
        return false;
    }
    static inline std::string base_;
};

class PgServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(PgServer::start()) << PgServer::lastError(); }
    void TearDown() override { PgServer::remove(); }
};

} // namespace tarnel::test
