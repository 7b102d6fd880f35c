// One-line log records of the reference device on standard error; portable.
#pragma once

#include <string>

// Writes "marlowick-device: <UTC time> <text>" as one line; safe from any thread.
void DeviceLog(const std::string& text);

// The current UTC time as "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcNow();
