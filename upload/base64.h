// Standard base64 encoding of the upload's credentials; portable.
#pragma once

#include <string>
#include <string_view>

// RFC 4648 alphabet, padded with "=" to a multiple of four, no line breaks.
std::string EncodeBase64(std::string_view data);
