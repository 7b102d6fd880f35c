// Pennick's entry: the arguments, the platform's store, the exit code and one line on standard
// error; portable.
#include "outside/pennick/pennick.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    std::vector<std::string> arrArgs(argv + (argc > 0 ? 1 : 0), argv + argc);
    CPennickResult result;
    try {
        const std::unique_ptr<CAssociationStore> pStore = CreateAssociationStore();
        result = RunPennick(arrArgs, *pStore);
    } catch (const std::exception& e) {
        result.m_nExit = kPennickStoreFailed;
        result.m_strLine = std::string("pennick: ") + e.what();
    }
    std::fprintf(stderr, "%s\n", result.m_strLine.c_str());
    return result.m_nExit;
}
