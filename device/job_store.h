// Download jobs: storing uploaded .torrent files in shares and recording them across restarts;
// Linux platform code.
#pragma once

#include "device/config.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

struct CJobRecord {
    std::string strTime; // UTC, when the job was taken
    std::string strInfoHash;
    std::string strShare;
    std::string strFolder; // inside the share, "/a/b", or "/" for its top
    std::string strFile;   // the stored file's name in that folder
    std::uint64_t nSize = 0;
};

enum class EJobResult {
    Taken,
    Invalid,   // the client's fault: not a torrent, a folder outside the share
    Duplicate, // a job with the same info hash exists
    Failed,    // the device's fault: the share or the state folder cannot be written
};

struct CJobOutcome {
    EJobResult eResult = EJobResult::Taken;
    std::string strRefusal; // empty when taken
};

// Bounds of a requested sub-folder: every level costs a folder and a system call, so a client
// must not ask for thousands.
constexpr std::size_t kMaxSubfolderDepth = 32;
constexpr std::size_t kMaxSubfolderLength = 1024; // the whole request, in bytes
constexpr std::size_t kMaxFolderName = 200;       // one name, in bytes

// The folder names of a requested sub-folder, cleaned as file names are (control and reserved
// characters become '_'), or nothing when it would leave the share or exceeds the bounds above.
// Both slashes separate; empty and "." names drop out.
std::optional<std::vector<std::string>> SplitSubfolder(const std::string& strSubdir);

// A file name that is safe to create: the last component of the uploaded name (a client may send
// a full Windows path), without control characters, separators or reserved characters, never
// hidden, never empty.
std::string SafeFileName(const std::string& strUploadName);

class CJobStore {
public:
    // Loads the jobs recorded in the state folder.
    bool Open(const std::string& strStateDir, std::string& strError);

    // Stores the torrent in the share's sub-folder and records the job (record then describes
    // it), or refuses it with a text for the client.
    CJobOutcome Submit(const CDeviceShare& share, const std::string& strSubdir,
                       const std::string& strUploadName, std::string_view torrent,
                       CJobRecord& record);

    std::vector<CJobRecord> Jobs() const;

    // After Open: files that a stopped device left half stored in the shares are removed, and
    // those whose job was recorded get their final name.
    void ClearLeftovers(const std::vector<CDeviceShare>& arrShares);

    // The kill fault (see CDeviceFaults).
    void SetKillFault(CDeviceFaults::EKillAt eKillAt) { m_eKillAt = eKillAt; }

private:
    // Appends the record's line; nStart is where it begins. A failed append leaves the file as
    // it was.
    bool Append(const CJobRecord& record, off_t& nStart);
    // Takes back the last record, which began at nStart.
    void Unappend(off_t nStart);

    mutable std::mutex m_mutex;
    std::string m_strRecordPath;
    std::vector<CJobRecord> m_arrJobs;
    std::set<std::string> m_setHashes;
    CDeviceFaults::EKillAt m_eKillAt = CDeviceFaults::EKillAt::Never;
};
