// Crash safety of the folder tree: a child process adds, moves and deletes
// folders and links and is killed (SIGKILL) at a random moment; the file
// is then reopened and must hold a sound tree (every folder reaches the
// root, no membership points at a missing folder or link) on which every
// operation works.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>

#include "base/containers/KvObjectArray.h"
#include "proxy/repo/KvRepoLink.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/tests/repo_test_util.h"

namespace {

using repotest::Opened;
using repotest::TempDir;

int RandomFolder(KvSqlDBEx& db, std::mt19937& rng) {
    int count = db.ExecScalar("select count(*) from web_folder", 1);
    std::string sql = "select folder_id from web_folder limit 1 offset " + std::to_string(rng() % (unsigned)count);
    return db.ExecScalar(sql.c_str(), 0);
}

// Writes one byte to `progress` after each operation, so the parent can
// kill it after a chosen number of operations, at a moment of its choice.
[[noreturn]] void WriteUntilKilled(const std::string& file, unsigned seed, int progress) {
    Opened<KvRepoLink> store(file);
    if (!store.opened) _exit(3);
    KvRepoLink& repo = store.repo;
    std::mt19937 rng(seed);
    for (unsigned n = 0;; ++n) {
        if (n > 0 && write(progress, "+", 1) != 1) _exit(4);
        int folder = RandomFolder(store.db, rng);
        std::string url = "http://crash.example/" + std::to_string(seed) + "/" + std::to_string(n);
        switch (rng() % 7) {
        case 0:
            repo.AddNewFolder(folder, ("f" + std::to_string(n)).c_str());
            break;
        case 1:
            repo.MoveFolder(RandomFolder(store.db, rng), folder);
            break;
        case 2:
            if (rng() % 4 == 0 && folder != 0) repo.DeleteFolder(folder);
            break;
        case 3: {
            KvObjectArray batch;
            for (int i = 0; i < 40; i++) batch.Add(new KvLinkItem((url + "/" + std::to_string(i)).c_str(), "b", ""));
            repo.AddNewItems(folder, &batch);
            break;
        }
        case 4:
            repo.DeleteItemMember(folder, store.db.ExecScalar("select max(item_id) from link_item", 0));
            break;
        default:
            repo.AddNewItem(folder, url.c_str(), "t", "");
        }
    }
}

// Empty when the tree is sound, else what is wrong.
std::string CheckTree(Opened<KvRepoLink>& store) {
    KvSqlDBEx& db = store.db;
    if (db.ExecScalar("select count(*) from link_member where folder_id not in (select folder_id from web_folder) "
                      "or item_id not in (select item_id from link_item)") != 0) {
        return "memberships of missing folders or links";
    }
    KvSqlQuery q = db.ExecQuery("select folder_id from web_folder");
    for (; !q.IsEOF(); q.MoveNext()) {
        CString path;
        if (!store.repo.GetFolderPath(q.GetIntField(0), path)) return "folder " + q.GetStringField(0).str() + " is cut off";
    }
    if (db.ExecScalar("select max(item_id) from link_item", 0) > db.GetId("link_item")) return "link counter behind";
    if (db.ExecScalar("select max(folder_id) from web_folder", 0) > db.GetId("web_folder")) return "folder counter behind";
    return "";
}

TEST(RepoCrashTest, KilledWriterLeavesASoundTree) {
    TempDir dir;
    std::string file = dir.File("crash.cld");
    std::mt19937 rng(4242);
    constexpr int kRounds = 20;
    int folders = 0;
    for (int round = 0; round < kRounds; ++round) {
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(progress[0]);
            WriteUntilKilled(file, (unsigned)round + 1, progress[1]);
        }
        close(progress[1]);
        // The first round kills the writer while it may still be making the
        // file; the others after some operations, in the middle of the next.
        for (unsigned done = 0, want = round == 0 ? 0 : 5 + rng() % 120; done < want; ++done) {
            char c;
            ASSERT_EQ(read(progress[0], &c, 1), 1) << "the writer stopped on its own";
        }
        kill(child, SIGKILL);
        close(progress[0]);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own, status " << status;

        Opened<KvRepoLink> store(file);
        ASSERT_TRUE(store.opened) << "round " << round;
        EXPECT_EQ(CheckTree(store), "") << "round " << round;
        // Every kind of operation still works.
        int a = store.repo.AddNewFolder(("/check" + std::to_string(round)).c_str());
        int b = store.repo.AddNewFolder(a, ("inner" + std::to_string(round)).c_str());
        ASSERT_GT(b, 0) << "round " << round;
        ASSERT_TRUE(store.repo.AddNewItem(b, ("http://check.example/" + std::to_string(round)).c_str(), "c", ""));
        ASSERT_TRUE(store.repo.MoveFolder(b, 0));
        ASSERT_FALSE(store.repo.MoveFolder(a, a));
        ASSERT_TRUE(store.repo.DeleteFolder(a) && store.repo.DeleteFolder(b));
        folders = store.db.ExecScalar("select count(*) from web_folder");
    }
    EXPECT_GT(folders, 1);  // the writers did get work done before they died
}

}  // namespace
