// The upload job's record and the destination split; portable tests.
#include "app/upload_job.h"

#include <gtest/gtest.h>

namespace {

TEST(DestinationSplit, Table) {
    struct {
        const char* szRoot;
        const char* szSub;
        const char* szShare;
        const char* szSubDir;
    } const cases[] = {
        {"Download", "", "Download", ""},
        {"Download\\bt", "", "Download", "/bt"},
        {"Download\\bt\\new", "", "Download", "/bt/new"},
        {"Download/bt", "", "Download", "/bt"},
        {"Download", "bt", "Download", "/bt"},
        {"Download\\bt", "new", "Download", "/bt/new"},
        {"\\Download", "", "", "/Download"},
        {"", "", "", ""},
        {"", "bt", "", "/bt"},
        {"Download\\", "", "Download", "/"},
        {"Down load\\b t", "", "Down load", "/b t"},
        {"D\xC3\xBCsseldorf\\\xE6\x97\xA5", "", "D\xC3\xBCsseldorf", "/\xE6\x97\xA5"},
    };
    for (const auto& c : cases) {
        const auto split = SplitDestination(c.szRoot, c.szSub);
        EXPECT_EQ(split.strShareList, c.szShare) << c.szRoot << " + " << c.szSub;
        EXPECT_EQ(split.strSubDir, c.szSubDir) << c.szRoot << " + " << c.szSub;
    }
}

TEST(UploadJob, FillsEveryFieldFromTheSettings) {
    CMarlowickSettings s;
    s.m_strIP = "192.168.1.20";
    s.m_strUserName = "admin";
    s.m_strPassword = "pw";
    s.m_strRootSharelist = "Download\\bt";
    s.m_strSubFolder = "new";
    const CMarlowickSettings before = s;

    auto job = fnBuildUploadJob(s, "/home/me/x.torrent");
    const NAS_BTDOWNLOAD_PARAM* p = job->GetParam();
    EXPECT_STREQ(p->url, "http://192.168.1.20/Down/download_job.cgi");
    EXPECT_STREQ(p->local_filename, "/home/me/x.torrent");
    EXPECT_STREQ(p->user, "admin");
    EXPECT_STREQ(p->pw, "pw");
    EXPECT_STREQ(p->share_list, "Download");
    EXPECT_STREQ(p->subdir, "/bt/new");
    EXPECT_STREQ(p->this_file, "down_job.htm");
    EXPECT_STREQ(p->todo, "save");
    EXPECT_STREQ(p->h_share_list, "Download");
    EXPECT_NE(p->h_share_list, p->share_list) << "a copy of its own";
    EXPECT_STREQ(p->h_proto, "1");
    EXPECT_STREQ(p->h_torrent, "local");
    EXPECT_EQ(s.m_strRootSharelist, before.m_strRootSharelist) << "a build changes no setting";
    EXPECT_EQ(s.m_strSubFolder, before.m_strSubFolder);

    // The record belongs to the job: changing or dropping the settings leaves it intact, and a
    // second build gives the same job.
    s = CMarlowickSettings{};
    EXPECT_STREQ(p->url, "http://192.168.1.20/Down/download_job.cgi");
    auto again = fnBuildUploadJob(before, "/home/me/x.torrent");
    EXPECT_STREQ(again->GetParam()->subdir, p->subdir);
}

TEST(UploadJob, EmptySettingsGiveEmptyFieldsNeverNull) {
    const CUploadJob job(CMarlowickSettings{}, "");
    const NAS_BTDOWNLOAD_PARAM* p = job.GetParam();
    for (const char* field : {p->url, p->local_filename, p->user, p->pw, p->share_list, p->subdir,
                              p->this_file, p->todo, p->h_share_list, p->h_proto, p->h_torrent})
        ASSERT_NE(field, nullptr);
    EXPECT_STREQ(p->url, "http:///Down/download_job.cgi");
    EXPECT_STREQ(p->share_list, "");
    EXPECT_STREQ(p->subdir, "");
}

} // namespace
