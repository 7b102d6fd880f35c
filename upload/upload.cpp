// The upload library's three exported functions: validate, read the file, build the body, run the
// HTTP exchange and judge the answer; portable.
#include "upload/varnel.h"

#include "outside/dunmore/dunmore.h"
#include "platform/file.h"
#include "platform/http.h"
#include "platform/system.h"
#include "upload/answer.h"
#include "upload/base64.h"
#include "upload/body.h"

#include "platform/text.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>
#include <string>

namespace {

constexpr char kUserAgent[] =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 1.1.4322)";
constexpr char kAcceptLine[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/msword, */*\r\n";
constexpr std::uint32_t kRequestFlags = kHttpFlagNoCacheWrite | kHttpFlagKeepConnection;
// Sizes travel in 32 bits and the body length is announced as a signed decimal.
constexpr std::uint64_t kMaxFileSize = (std::uint64_t{1} << 32) - 1;
constexpr std::uint64_t kMaxBodySize = (std::uint64_t{1} << 31) - 1;

// Detail codes recorded with each failure: the local-file forms' and the in-memory form's.
struct CDetail {
    int nLocal;
    int nEx;
};
constexpr CDetail kParamNull{29, 36}, kUrlEmpty{1, 37}, kNoFileName{2, 38}, kUserEmpty{3, 39},
    kFileBuffer{6, 12}, kFileError{7, 7}, kFileMemory{8, 8}, kRootHandle{23, 41}, kUrlSplit{24, 42},
    kBodyBuffer{12, 12}, kConnect{25, 45}, kOpenRequest{26, 46}, kAcceptExists{30, 47},
    kAcceptFailed{31, 48}, kContentType{15, 50}, kAcceptEncoding{16, 51}, kContentLength{17, 52},
    kConnection{28, 53}, kAuthorization{18, 54}, kRawHeaders{19, 55}, kSend{20, 56}, kWrite{21, 57},
    kEnd{22, 58}, kNoAnswer{33, 59}, kTooLong{65, 60}, kDeviceMessage{34, 61}, kNoTitle{66, 64},
    kEmptyTitle{35, 63}, kTitle{67, 62}, kAnswerCut{68, 69}, kHttpStatus{70, 71},
    kUnsafeFileName{72, 73};

// One upload call: its form, its result and the caller's out-parameters.
class CUploadCall {
public:
    CUploadCall(bool bEx, std::string* message, VARNEL_DWORD* resultCode)
        : m_bEx(bEx), m_pMessage(message), m_pResultCode(resultCode) {
        if (m_pMessage)
            m_pMessage->clear();
        if (m_pResultCode)
            *m_pResultCode = NAS_BTDOWNLOAD_OK;
    }

    // Records one failure; the pending result code stays unless given.
    void Fail(CDetail detail, const char* text, VARNEL_DWORD pending = NAS_BTDOWNLOAD_ERR_GENERAL) {
        qvSetError(text, 7, 4, m_bEx ? detail.nEx : detail.nLocal, 0);
        m_nPending = pending;
    }
    void FailWithLastError(CDetail detail, VARNEL_DWORD pending = NAS_BTDOWNLOAD_ERR_GENERAL) {
        const std::string text = GetLastErrorText();
        Fail(detail, text.c_str(), pending);
    }

    int Finish(bool ok) {
        if (!ok && m_pResultCode)
            *m_pResultCode = m_nPending;
        return ok ? 1 : 0;
    }

    void SetMessage(const std::string& text) {
        if (m_pMessage)
            m_pMessage->assign(text);
    }

private:
    bool m_bEx;
    std::string* m_pMessage;
    VARNEL_DWORD* m_pResultCode;
    VARNEL_DWORD m_nPending = NAS_BTDOWNLOAD_ERR_GENERAL;
};

// What the exchange needs: the destination, the account, and the body's frame with the source
// of its content (the open local file, or the caller's bytes).
struct CUploadWork {
    const char* url = nullptr;
    const char* user = nullptr;
    const char* pw = nullptr;
    CBodyFrame frame;
    std::uint64_t nFileSize = 0;
    std::unique_ptr<CReadFile> file;
    const unsigned char* pData = nullptr;
};

const char* Safe(const char* s) {
    return s ? s : "";
}
bool Empty(const char* s) {
    return s == nullptr || *s == '\0';
}

void LogRecord(const char* url, const char* localFile, const char* user, const char* pw,
               const CFormTexts& t) {
    qvLog("     url = [%s]", Safe(url));
    if (localFile)
        qvLog("     local filename = [%s]", localFile);
    // The password never reaches the log in clear.
    qvLog("     user = [%s], pw = [%s]", Safe(user), Empty(pw) ? "" : "***");
    qvLog("     share_list = [%.*s]", static_cast<int>(t.share_list.size()), t.share_list.data());
    qvLog("     subdir = [%.*s]", static_cast<int>(t.subdir.size()), t.subdir.data());
    qvLog("     this_file = [%.*s]", static_cast<int>(t.this_file.size()), t.this_file.data());
    qvLog("     todo = [%.*s]", static_cast<int>(t.todo.size()), t.todo.data());
    qvLog("     h_share_list = [%.*s]", static_cast<int>(t.h_share_list.size()),
          t.h_share_list.data());
    qvLog("     h_proto = [%.*s]", static_cast<int>(t.h_proto.size()), t.h_proto.data());
    qvLog("     h_torrent = [%.*s]", static_cast<int>(t.h_torrent.size()), t.h_torrent.data());
}

template <class Param> CFormTexts TextsOf(const Param& p) {
    return {Safe(p.share_list),   Safe(p.subdir),  Safe(p.this_file), Safe(p.todo),
            Safe(p.h_share_list), Safe(p.h_proto), Safe(p.h_torrent)};
}

// Refuses what 32-bit sizes cannot carry: a file of 4 GiB or more, a body of 2^31 bytes or more.
bool CheckSize(CUploadCall& call, const CUploadWork& job, CDetail detail) {
    const std::uint64_t length = job.frame.Length(job.nFileSize);
    if (job.nFileSize <= kMaxFileSize && length <= kMaxBodySize)
        return true;
    char reason[160];
    std::snprintf(reason, sizeof reason,
                  "The file is too large to send: %llu bytes (a body of %llu bytes; at most %llu "
                  "can be sent).",
                  static_cast<unsigned long long>(job.nFileSize),
                  static_cast<unsigned long long>(length),
                  static_cast<unsigned long long>(kMaxBodySize));
    qvLog("%s", reason);
    call.Fail(detail, reason);
    call.SetMessage(reason);
    return false;
}

// Header lines in the order and with the add modes the device's form expects.
struct CHeaderStep {
    std::string strLine;
    EHttpAddMode eMode;
    CDetail detail;
};

// Runs the exchange and judges the answer. Every handle opened is closed when this returns:
// request, connection, then root.
bool Exchange(CUploadCall& call, CUploadWork& job) {
    std::unique_ptr<CHttpSession> session = OpenHttpSession(kUserAgent);
    std::unique_ptr<CHttpConnection> connection;
    std::unique_ptr<CHttpRequest> request;
    bool ok = false;
    [&] {
        if (!session) {
            call.FailWithLastError(kRootHandle);
            return;
        }
        CHttpUrlParts parts;
        if (!session->CrackUrl(job.url, parts)) {
            call.FailWithLastError(kUrlSplit);
            return;
        }
        qvLog("InternetCrackUrl Ok");
        qvLog("tcsdup Ok");
        qvLog("add null Ok");
        qvLog("filename tcsdup Ok");
        qvLog("filename add null Ok");
        qvLog("1. HostName: [%s], FileName: [%s]", parts.strHost.c_str(), parts.strPath.c_str());

        CBodyStream body(job.frame, job.nFileSize,
                         [&job](char* buffer, std::size_t size, std::size_t& got) {
                             if (job.file)
                                 return job.file->Read(buffer, size, got);
                             std::memcpy(buffer, job.pData, size);
                             job.pData += size;
                             got = size;
                             return true;
                         });
        const std::uint64_t length = body.Length();
        qvLog("prepare post data ok");

        connection = session->Connect(parts.strHost, parts.nPort, job.user, job.pw);
        if (!connection) {
            call.FailWithLastError(kConnect);
            return;
        }
        qvLog("2. POST: FileName: [%s], strUrl: [%s], szAcceptType: [%s], flags: 0x%0x",
              parts.strPath.c_str(), job.url, "*/*", kRequestFlags);
        request = connection->OpenRequest("POST", parts.strPath, job.url, "*/*", kRequestFlags);
        if (!request) {
            call.FailWithLastError(kOpenRequest);
            return;
        }

        if (!request->AddHeader(kAcceptLine, EHttpAddMode::ReplaceOrAdd)) {
            if (mwGetLastError() == kHttpErrHeaderAlreadyExists)
                call.FailWithLastError(kAcceptExists, NAS_BTDOWNLOAD_ERR_HEADER_EXISTS);
            else
                call.FailWithLastError(kAcceptFailed, NAS_BTDOWNLOAD_ERR_HEADER_FAILED);
            return;
        }
        const std::string credentials = std::string(job.user) + ":" + job.pw;
        const CHeaderStep steps[] = {
            {"Content-Type: multipart/form-data; boundary=" + std::string(kBoundary) + "\r\n",
             EHttpAddMode::AddIfNew, kContentType},
            {"Accept-Encoding: gzip, deflate\r\n", EHttpAddMode::AddIfNew, kAcceptEncoding},
            {"Content-Length: " + std::to_string(length) + "\r\n", EHttpAddMode::AddIfNew,
             kContentLength},
            {"Connection: Keep-Alive\r\n", EHttpAddMode::AddIfNew, kConnection},
            {"Authorization: Basic " + EncodeBase64(credentials) + "\r\n", EHttpAddMode::AddIfNew,
             kAuthorization},
        };
        for (const auto& step : steps) {
            if (!request->AddHeader(step.strLine, step.eMode)) {
                call.FailWithLastError(step.detail);
                return;
            }
        }

        std::string rawHeaders;
        if (!request->QueryRawHeaders(rawHeaders)) {
            call.FailWithLastError(kRawHeaders);
            return;
        }
        if (!request->Send()) {
            call.FailWithLastError(kSend);
            return;
        }
        qvLog("Send file data");
        qvLog("2. Sending file data , required: %u", static_cast<unsigned>(length));
        std::uint64_t written = 0;
        const bool wrote =
            request->Write([&body](char* buffer, std::size_t size,
                                   std::size_t& got) { return body.Next(buffer, size, got); },
                           length, written);
        if (!wrote && body.ContentFailed()) {
            // The file failed while being sent: its own error says more than the network's.
            const std::string text = job.file ? job.file->ErrorText() : std::string();
            call.Fail(kFileError, text.c_str());
            return;
        }
        if (!wrote) {
            call.FailWithLastError(kWrite);
            return;
        }
        qvLog("2. Send file data done!, sent byte: %u", static_cast<unsigned>(written));
        if (!request->End())
            call.FailWithLastError(kEnd); // recorded only: the answer may still be there

        CAnswerStatus status;
        if (!request->QueryStatus(status.nCode, status.strReason))
            status = {};
        qvLog("Read internet file...");
        const CAnswerOutcome outcome = ReadAndInterpretAnswer(
            [&](char* buffer, std::uint32_t size, std::uint32_t& got) {
                return request->Read(buffer, size, got);
            },
            status);
        switch (outcome.eVerdict) {
        case EAnswerVerdict::Accepted:
            ok = true;
            break;
        case EAnswerVerdict::NoAnswer:
            call.FailWithLastError(kNoAnswer);
            break;
        case EAnswerVerdict::TooLong:
            call.FailWithLastError(kTooLong);
            break;
        case EAnswerVerdict::DeviceMessage:
        case EAnswerVerdict::Unfinished:
            call.Fail(kDeviceMessage, outcome.strText.c_str());
            call.SetMessage(outcome.strText);
            break;
        case EAnswerVerdict::Cut:
            call.FailWithLastError(kAnswerCut);
            break;
        case EAnswerVerdict::Status:
            call.Fail(kHttpStatus, outcome.strText.c_str());
            call.SetMessage(outcome.strText);
            break;
        case EAnswerVerdict::NoTitle:
            call.Fail(kNoTitle, nullptr);
            break;
        case EAnswerVerdict::EmptyTitle:
            call.Fail(kEmptyTitle, nullptr);
            break;
        case EAnswerVerdict::Title:
            call.Fail(kTitle, outcome.strText.c_str());
            call.SetMessage(outcome.strText);
            break;
        }
    }();
    qvLog("Done!");
    request.reset();
    connection.reset();
    session.reset();
    job.file.reset();
    qvLog("returned");
    return ok;
}

// Checks, in this order, that the URL, the file name and the account are there, recording the
// first that is missing; then fills in the job's destination, account and body frame.
template <class Param>
bool PrepareJob(CUploadCall& call, const Param& p, const std::string& fileName,
                const CFormTexts& texts, CUploadWork& job) {
    const std::pair<bool, CDetail> required[] = {
        {Empty(p.url), kUrlEmpty}, {fileName.empty(), kNoFileName}, {Empty(p.user), kUserEmpty}};
    for (const auto& [missing, detail] : required) {
        if (missing) {
            call.Fail(detail, nullptr);
            return false;
        }
    }
    job.url = p.url;
    job.user = p.user;
    job.pw = Safe(p.pw);
    job.frame = MakeBodyFrame(fileName, texts);
    return true;
}

// The name goes into filename="..." as it stands: a double quote or a line break there would end
// the field and let the name write form fields of its own. Such a name cannot be carried.
bool CheckFileName(CUploadCall& call, const std::string& fileName) {
    const char* what = nullptr;
    if (fileName.find('"') != std::string::npos)
        what = "a double quote";
    else if (fileName.find_first_of("\r\n") != std::string::npos)
        what = "a line break (CR or LF)";
    if (!what)
        return true;
    const std::string reason = std::string("The file name cannot be sent: it holds ") + what +
                               ", which the upload form cannot carry.";
    qvLog("%s", reason.c_str());
    call.Fail(kUnsafeFileName, reason.c_str());
    call.SetMessage(reason);
    return false;
}

// Opens and measures the file; its content is read while the body is sent.
bool OpenLocalFile(CUploadCall& call, CUploadWork& job, const char* path) {
    job.file = MakeReadFile();
    std::uint64_t length = 0;
    if (!job.file->Open(path) || !job.file->Length(length)) {
        const std::string text = job.file->ErrorText();
        call.Fail(kFileError, text.c_str());
        job.file.reset();
        return false;
    }
    qvLog("Your file [%s] is %u bytes long.", path, static_cast<unsigned>(length));
    job.nFileSize = length;
    if (!CheckSize(call, job, kFileBuffer)) {
        job.file.reset();
        return false;
    }
    qvLog("source file ok");
    return true;
}

int UploadLocalFile(const NAS_BTDOWNLOAD_PARAM* param, std::string* message,
                    VARNEL_DWORD* resultCode) {
    qvLog("varnel_NAS_BTDownloadForLocalFile2():");
    CUploadCall call(false, message, resultCode);
    if (!param) {
        call.Fail(kParamNull, nullptr);
        return call.Finish(false);
    }
    const CFormTexts texts = TextsOf(*param);
    LogRecord(param->url, Safe(param->local_filename), param->user, param->pw, texts);
    CUploadWork job;
    // The name is checked once the file has opened: a name that no file can have on this system
    // fails as a file error, as it always has.
    if (!PrepareJob(call, *param, Safe(param->local_filename), texts, job) ||
        !OpenLocalFile(call, job, param->local_filename) ||
        !CheckFileName(call, param->local_filename))
        return call.Finish(false);
    return call.Finish(Exchange(call, job));
}

// The name announced for in-memory content: filename, else filename_w in the narrow code page.
std::string ExFileName(const NAS_BTDOWNLOAD_PARAM_EX& p) {
    if (!Empty(p.filename))
        return p.filename;
    if (!p.filename_w || !*p.filename_w)
        return {};
    return GetTextOps().FromUtf16(p.filename_w);
}

int UploadFromMemory(const NAS_BTDOWNLOAD_PARAM_EX* param, std::string* message,
                     VARNEL_DWORD* resultCode) {
    qvLog("varnel_NAS_BTDownloadForLocalFileEx():");
    CUploadCall call(true, message, resultCode);
    if (!param) {
        call.Fail(kParamNull, nullptr);
        return call.Finish(false);
    }
    const CFormTexts texts = TextsOf(*param);
    LogRecord(param->url, nullptr, param->user, param->pw, texts);
    CUploadWork job;
    const std::string fileName = ExFileName(*param);
    if (!PrepareJob(call, *param, fileName, texts, job) || !CheckFileName(call, fileName))
        return call.Finish(false);
    job.nFileSize = param->file_data ? param->file_size : 0;
    job.pData = param->file_data;
    if (!CheckSize(call, job, kBodyBuffer))
        return call.Finish(false);
    return call.Finish(Exchange(call, job));
}

// Lets nothing escape the library: an unexpected failure is one general failure.
template <class F> int Guarded(F&& f, std::string* message, VARNEL_DWORD* resultCode) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        qvSetError("Not enough memory is available to process this command.", 7, 4,
                   kFileMemory.nLocal, 0);
    } catch (const std::exception& e) {
        qvSetError(e.what(), 7, 4, 0, 0);
    } catch (...) {
        qvSetError(nullptr, 7, 4, 0, 0);
    }
    if (message)
        message->clear();
    if (resultCode)
        *resultCode = NAS_BTDOWNLOAD_ERR_GENERAL;
    return 0;
}

} // namespace

int MW_CDECL varnel_NAS_BTDownloadForLocalFile(const NAS_BTDOWNLOAD_PARAM* param,
                                               VARNEL_DWORD* result_code) {
    return Guarded([&] { return UploadLocalFile(param, nullptr, result_code); }, nullptr,
                   result_code);
}

int MW_CDECL varnel_NAS_BTDownloadForLocalFile2(const NAS_BTDOWNLOAD_PARAM* param,
                                                std::string* message, VARNEL_DWORD* result_code) {
    return Guarded([&] { return UploadLocalFile(param, message, result_code); }, message,
                   result_code);
}

int MW_CDECL varnel_NAS_BTDownloadForLocalFileEx(const NAS_BTDOWNLOAD_PARAM_EX* param,
                                                 std::string* message, VARNEL_DWORD* result_code) {
    return Guarded([&] { return UploadFromMemory(param, message, result_code); }, message,
                   result_code);
}
