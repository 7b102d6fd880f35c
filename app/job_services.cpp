// The services that windows made from now on use; portable.
#include "app/job_services.h"

namespace {
std::shared_ptr<CJobServices> g_pJobServices;
} // namespace

void SetJobServices(std::shared_ptr<CJobServices> pServices) {
    g_pJobServices = std::move(pServices);
}

std::shared_ptr<CJobServices> GetJobServices() {
    return g_pJobServices;
}
