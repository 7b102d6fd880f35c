// The upload's multipart/form-data body: its fixed framing around the file bytes; portable.
#include "upload/body.h"

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

void WriteBodyFrame(const CBodyFrame& frame, std::uint64_t fileSize, char* body) {
    std::memcpy(body, frame.strHead.data(), frame.strHead.size());
    char* tail = body + frame.strHead.size() + fileSize;
    std::memcpy(tail, frame.strTail.data(), frame.strTail.size());
    std::memset(tail + frame.strTail.size(), 0, CBodyFrame::kTrailingZeros);
}
