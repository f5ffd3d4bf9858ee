// Helpers shared by the repository tests: a temporary directory and a
// repository opened on a fresh file in it.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "ext/KvSqLite/KvSqlDBEx.h"

namespace repotest {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/kvrepo_test_XXXXXX";
        m_path = mkdtemp(pattern) ? pattern : "/tmp";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string File(const char* name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A repository of class R on its own database file.
template <class R>
class Opened {
public:
    explicit Opened(const std::string& file) {
        repo.SetDatabase(&db);
        opened = repo.Open(file.c_str()) != 0;
    }
    KvSqlDBEx db;
    R repo;
    bool opened = false;
};

}  // namespace repotest
