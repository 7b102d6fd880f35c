// The upload job of one send: the upload library's parameter record built from the settings;
// portable.
#pragma once

#include "app/settings.h"
#include "platform/text.h"
#include "upload/varnel.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The destination as the device's form takes it: the share, and the folders below it as text
// that is empty or begins with "/".
struct CDestinationSplit {
    std::string strShareList;
    std::string strSubDir;
};

// Joins the sub-folder to the destination, turns backslashes into slashes and cuts at the first
// slash. The settings themselves are not changed.
CDestinationSplit SplitDestination(std::string_view rootShareList, std::string_view subFolder,
                                   const CTextOps& text = GetTextOps());

// One job's parameter record together with the texts it points to. It neither moves nor copies,
// so the record stays valid for as long as the object lives; whoever runs the upload on another
// thread keeps the object alive (see fnBuildUploadJob) until the upload call has returned.
class CUploadJob {
public:
    // The single send's job: the settings' device, account and destination (split by
    // SplitDestination) for one .torrent file.
    CUploadJob(const CMarlowickSettings& settings, std::string torrentFile,
               const CTextOps& text = GetTextOps());
    // A job of any other shape, its texts copied from the record (null fields become empty).
    explicit CUploadJob(const NAS_BTDOWNLOAD_PARAM& param);
    CUploadJob(const CUploadJob&) = delete;
    CUploadJob& operator=(const CUploadJob&) = delete;

    const NAS_BTDOWNLOAD_PARAM* GetParam() const { return &m_param; }

private:
    // The eleven texts, in the record's order.
    enum {
        kUrl,
        kLocalFilename,
        kUser,
        kPw,
        kShareList,
        kSubDir,
        kThisFile,
        kTodo,
        kHShareList,
        kHProto,
        kHTorrent,
        kFieldCount
    };
    void Point();

    std::string m_arrText[kFieldCount];
    NAS_BTDOWNLOAD_PARAM m_param{};
};

// The job for one .torrent file, shared so that a worker thread can hold it as long as it reads it.
std::shared_ptr<const CUploadJob> fnBuildUploadJob(const CMarlowickSettings& settings,
                                                   const std::string& torrentFile);

// The single send's rule, shared by the program and the command line front end: one upload, and
// once more after a second when the Accept header already existed (result code 7000). upload
// returns what the upload function returns and fills message and code; beforeRetry, when given,
// runs after the pause and before the second try. Returns the last try's result.
using CUploadAttempt = std::function<int(std::string& message, VARNEL_DWORD& code)>;
inline constexpr unsigned kUploadRetryPauseMs = 1000;
int fnUploadWithRetry(const CUploadAttempt& upload, const std::function<void(unsigned ms)>& sleep,
                      std::string& message, VARNEL_DWORD& code,
                      const std::function<void()>& beforeRetry = {});
