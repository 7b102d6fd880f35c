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
                       const CTextOps& text) {
    auto split = SplitDestination(settings.m_strRootSharelist, settings.m_strSubFolder, text);
    m_arrText[kUrl] = "http://" + settings.m_strIP + "/Down/download_job.cgi";
    m_arrText[kLocalFilename] = std::move(torrentFile);
    m_arrText[kUser] = settings.m_strUserName;
    m_arrText[kPw] = settings.m_strPassword;
    m_arrText[kShareList] = split.strShareList;
    m_arrText[kSubDir] = std::move(split.strSubDir);
    m_arrText[kThisFile] = "down_job.htm";
    m_arrText[kTodo] = "save";
    m_arrText[kHShareList] = std::move(split.strShareList);
    m_arrText[kHProto] = "1";
    m_arrText[kHTorrent] = "local";
    Point();
}

CUploadJob::CUploadJob(const NAS_BTDOWNLOAD_PARAM& param) {
    const char* const in[kFieldCount] = {param.url,       param.local_filename, param.user,
                                         param.pw,        param.share_list,     param.subdir,
                                         param.this_file, param.todo,           param.h_share_list,
                                         param.h_proto,   param.h_torrent};
    for (int i = 0; i < kFieldCount; ++i)
        m_arrText[i] = in[i] ? in[i] : "";
    Point();
}

void CUploadJob::Point() {
    m_param = {m_arrText[kUrl].c_str(),        m_arrText[kLocalFilename].c_str(),
               m_arrText[kUser].c_str(),       m_arrText[kPw].c_str(),
               m_arrText[kShareList].c_str(),  m_arrText[kSubDir].c_str(),
               m_arrText[kThisFile].c_str(),   m_arrText[kTodo].c_str(),
               m_arrText[kHShareList].c_str(), m_arrText[kHProto].c_str(),
               m_arrText[kHTorrent].c_str()};
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
