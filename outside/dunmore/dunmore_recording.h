// What the recording build of Dunmore saw; test support, portable.
#pragma once

#include <string>
#include <vector>

struct CDunmoreError {
    bool bHasText = false;
    std::string strText;
    int nComponent = 0;
    int nSeverity = 0;
    int nDetail = 0;
    int nExtra = 0;
};

struct CDunmoreRecord {
    std::vector<int> levels;
    std::vector<std::string> lines;
    std::vector<CDunmoreError> errors;
};

// A copy of everything recorded so far, and a fresh start.
CDunmoreRecord DunmoreRecorded();
void DunmoreClear();
