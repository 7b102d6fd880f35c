// The main window's device status page; portable.
#include "settings_window/marlowick_dlg.h"

#include "resources/resources.h"

namespace {
// Where the window goes when its page is switched on, and by how much it widens.
constexpr int kWindowLeft = 5;
constexpr int kWiderBy = 805;
} // namespace

std::string CMarlowickDlg::DevicePageUrl() const {
    return "http://" + m_strIP + "/Down/download_ui.cgi";
}

void CMarlowickDlg::NavigateDevicePage() {
    // Without an address there is no device to show: an empty page, never a URL without a host.
    Navigate(IDC_WEB_BROWSER, m_strIP.empty() ? std::string("about:blank") : DevicePageUrl());
}

void CMarlowickDlg::OnBnClickedMonitorPage() {
    m_bShowDevicePage = IsDlgButtonChecked(IDC_MONITOR_PAGE) == 1;
    if (m_bShowDevicePage) {
        const int nScreen = GetUiBackend().GetScreenSize().cx;
        const int nRight = nScreen <= 800 ? 780 : nScreen <= 1024 ? 1000 : 1045;
        const int nLeft = LayoutX(kPageLeft);
        MoveItem(IDC_WEB_BROWSER,
                 CRect::FromXywh(nLeft, LayoutY(kPageTop), nRight - nLeft, LayoutY(kPageHeight)));
        const CRect rc = GetWindowRect();
        MoveWindow(CRect::FromXywh(kWindowLeft, rc.top, rc.Width() + kWiderBy, rc.Height()));
        NavigateDevicePage();
    } else {
        MoveItem(IDC_WEB_BROWSER, CRect{});
        const CRect rc = GetWindowRect();
        MoveWindow(CRect::FromXywh(rc.left, rc.top, GetItemRect(IDC_DEVICE_LIST).Width() + 40,
                                   rc.Height()));
    }
}
