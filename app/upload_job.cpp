// The upload job of one send: the upload library's parameter record built from the settings;
// portable.
#include "app/upload_job.h"

#include "platform/debug_output.h"

CDestinationSplit SplitDestination(std::string_view rootShareList, std::string_view subFolder,
                                   const CTextOps& text) {
    std::string d(rootShareList);
    std::string f(subFolder);
    if (!f.empty()) {
        d += "/";
        d += f;
        f.clear();
    }
    if (!d.empty() && text.Find(d, "\\") != std::string::npos) {
        mwDebugOutput("enter replace wrong char");
        // Character by character, so a backslash byte inside a multibyte character stays.
        for (auto pos = text.Find(d, "\\"); pos != std::string::npos;
             pos = text.Find(d, "\\", pos + 1))
            d[pos] = '/';
    }
    const auto k = d.empty() ? std::string::npos : text.Find(d, "/");
    if (k != std::string::npos) {
        mwDebugOutput("m_strRootSharelist = " + d);
        f = d.substr(k);
        d.resize(k);
        mwDebugOutput("nFindIdx = " + std::to_string(k) + ", m_strSubFolder = " + f +
                      ", m_strRoorSharelist = " + d);
    }
    return {std::move(d), std::move(f)};
}

CUploadJob::CUploadJob(const CMarlowickSettings& settings, std::string torrentFile,
                       const CTextOps& text)
    : m_strUrl("http://" + settings.m_strIP + "/Down/download_job.cgi"),
      m_strLocalFilename(std::move(torrentFile)), m_strUser(settings.m_strUserName),
      m_strPw(settings.m_strPassword) {
    auto split = SplitDestination(settings.m_strRootSharelist, settings.m_strSubFolder, text);
    m_strShareList = std::move(split.strShareList);
    m_strSubDir = std::move(split.strSubDir);
    m_strHShareList = m_strShareList;
    m_param.url = m_strUrl.c_str();
    m_param.local_filename = m_strLocalFilename.c_str();
    m_param.user = m_strUser.c_str();
    m_param.pw = m_strPw.c_str();
    m_param.share_list = m_strShareList.c_str();
    m_param.subdir = m_strSubDir.c_str();
    m_param.this_file = "down_job.htm";
    m_param.todo = "save";
    m_param.h_share_list = m_strHShareList.c_str();
    m_param.h_proto = "1";
    m_param.h_torrent = "local";
}

std::shared_ptr<const CUploadJob> fnBuildUploadJob(const CMarlowickSettings& settings,
                                                   const std::string& torrentFile) {
    return std::make_shared<const CUploadJob>(settings, torrentFile);
}

int fnUploadWithRetry(const CUploadAttempt& upload, const std::function<void(unsigned ms)>& sleep,
                      std::string& message, VARNEL_DWORD& code,
                      const std::function<void()>& beforeRetry) {
    message.clear();
    code = 0;
    if (upload(message, code) == 1)
        return 1;
    if (code != NAS_BTDOWNLOAD_ERR_HEADER_EXISTS)
        return 0;
    sleep(kUploadRetryPauseMs);
    if (beforeRetry)
        beforeRetry();
    message.clear();
    return upload(message, code);
}
