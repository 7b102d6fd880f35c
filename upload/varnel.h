// Public interface of the upload library Varnel: parameter records, result codes and the three
// upload functions; portable.
#pragma once

#include "platform/export.h"

#include <cstdint>
#include <string>

#if defined(VARNEL_BUILDING)
#define VARNEL_API MW_DLL_EXPORT
#else
#define VARNEL_API
#endif

typedef std::uint32_t VARNEL_DWORD;

// The device accepted the job.
#define NAS_BTDOWNLOAD_OK 0
// Any failure but the two below: bad parameters, unreadable file, network or HTTP failure, a
// refusal by the device, or an answer that was not recognised.
#define NAS_BTDOWNLOAD_ERR_GENERAL 7999
// The Accept request header was refused because the request already holds one; callers wait one
// second and call once more.
#define NAS_BTDOWNLOAD_ERR_HEADER_EXISTS 7000
// The Accept request header was refused for another reason.
#define NAS_BTDOWNLOAD_ERR_HEADER_FAILED 7001

// Narrow texts in the system's code page (UTF-8 on Linux); none may be null. url,
// local_filename and user must not be empty.
struct NAS_BTDOWNLOAD_PARAM {
    const char* url;            // the device's download-job page
    const char* local_filename; // the .torrent file; also the name announced in the form
    const char* user;
    const char* pw;
    const char* share_list;
    const char* subdir;
    const char* this_file;
    const char* todo;
    const char* h_share_list;
    const char* h_proto;
    const char* h_torrent;
};

// The same upload from memory. The name is filename, or when that is null or empty filename_w
// converted to the narrow code page.
struct NAS_BTDOWNLOAD_PARAM_EX {
    const char* url;
    const char16_t* filename_w;
    const char* filename;
    const unsigned char* file_data;
    std::uint64_t file_size;
    const char* user;
    const char* pw;
    const char* share_list;
    const char* subdir;
    const char* this_file;
    const char* todo;
    const char* h_share_list;
    const char* h_proto;
    const char* h_torrent;
};

// Each call uploads one file and keeps nothing: it returns 1 when the device accepted the job,
// else 0 with *result_code set to one of the codes above. message receives the device's own
// wording when its answer decided the failure; else, where the reason is more than a network
// failure, a text that names it: a failing HTTP status, a file name the form cannot carry (a
// double quote, CR or LF), content too large to announce. It is emptied otherwise. An answer cut
// short, reset or not whole within its time limit is never an acceptance. message and
// result_code may be null. The functions are reentrant and throw nothing.
VARNEL_API int MW_CDECL varnel_NAS_BTDownloadForLocalFile(const NAS_BTDOWNLOAD_PARAM* param,
                                                          VARNEL_DWORD* result_code);
VARNEL_API int MW_CDECL varnel_NAS_BTDownloadForLocalFile2(const NAS_BTDOWNLOAD_PARAM* param,
                                                           std::string* message,
                                                           VARNEL_DWORD* result_code);
VARNEL_API int MW_CDECL varnel_NAS_BTDownloadForLocalFileEx(const NAS_BTDOWNLOAD_PARAM_EX* param,
                                                            std::string* message,
                                                            VARNEL_DWORD* result_code);
