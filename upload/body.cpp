// The upload's multipart/form-data body: its fixed framing around the file bytes; portable.
#include "upload/body.h"

#include <algorithm>
#include <cstring>

namespace {

void AddPart(std::string& out, std::string_view name, std::string_view value) {
    out += "--";
    out += kBoundary;
    out += "\r\nContent-Disposition: form-data; name=\"";
    out += name;
    out += "\"\r\n\r\n";
    out += value;
    out += "\r\n";
}

} // namespace

CBodyFrame MakeBodyFrame(std::string_view fileName, const CFormTexts& texts) {
    CBodyFrame frame;
    std::string& head = frame.strHead;
    AddPart(head, "proto", "bt");
    AddPart(head, "torrent", "on");
    head += "--";
    head += kBoundary;
    head += "\r\nContent-Disposition: form-data; name=\"upfilename\"; filename=\"";
    head += fileName;
    head += "\"\r\nContent-Type: application/octet-stream\r\n\r\n";

    std::string& tail = frame.strTail;
    tail += "\r\n";
    AddPart(tail, "share_list", texts.share_list);
    AddPart(tail, "subdir", texts.subdir);
    AddPart(tail, "this_file", texts.this_file);
    AddPart(tail, "todo", texts.todo);
    AddPart(tail, "h_share_list", texts.h_share_list);
    AddPart(tail, "h_proto", texts.h_proto);
    AddPart(tail, "h_torrent", texts.h_torrent);
    AddPart(tail, "finish", "");
    tail += "--";
    tail += kBoundary;
    tail += "--\r\n";
    return frame;
}

CBodyStream::CBodyStream(const CBodyFrame& frame, std::uint64_t contentSize, CContentReader content)
    : m_frame(frame), m_nContentSize(contentSize), m_content(std::move(content)),
      m_nLength(frame.Length(contentSize)) {}

bool CBodyStream::Next(char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    const std::uint64_t headEnd = m_frame.strHead.size();
    const std::uint64_t contentEnd = headEnd + m_nContentSize;
    const std::uint64_t tailEnd = contentEnd + m_frame.strTail.size();
    while (got < size && m_nOffset < m_nLength) {
        char* out = buffer + got;
        const std::size_t room = size - got;
        std::size_t n = 0;
        if (m_nOffset < headEnd) {
            n = static_cast<std::size_t>(std::min<std::uint64_t>(room, headEnd - m_nOffset));
            std::memcpy(out, m_frame.strHead.data() + m_nOffset, n);
        } else if (m_nOffset < contentEnd) {
            n = static_cast<std::size_t>(std::min<std::uint64_t>(room, contentEnd - m_nOffset));
            std::size_t read = 0;
            if (!m_bContentEnded) {
                if (!m_content(out, n, read)) {
                    m_bContentFailed = true;
                    return false;
                }
                m_bContentEnded = read == 0;
            }
            if (m_bContentEnded)
                std::memset(out, 0, n);
            else
                n = read;
        } else if (m_nOffset < tailEnd) {
            n = static_cast<std::size_t>(std::min<std::uint64_t>(room, tailEnd - m_nOffset));
            std::memcpy(out, m_frame.strTail.data() + (m_nOffset - contentEnd), n);
        } else {
            n = static_cast<std::size_t>(std::min<std::uint64_t>(room, m_nLength - m_nOffset));
            std::memset(out, 0, n);
        }
        got += n;
        m_nOffset += n;
    }
    return true;
}
