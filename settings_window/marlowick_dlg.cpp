// The main window: construction, initialisation, the four layouts, sizing, painting and closing;
// portable.
#include "settings_window/marlowick_dlg.h"

#include "discovery/device_list.h"
#include "resources/resources.h"

namespace {

// Heights the window keeps while the user drags a border, and the narrowest page.
constexpr int kWindowHeight = 572;
constexpr int kFileModeHeight = 570;
constexpr int kMinPageWidth = 260;

} // namespace

CMarlowickDlg::CMarlowickDlg(CAppServices services)
    : CDialog(GetDialogTemplate(IDD_MARLOWICK_DIALOG)), m_hIcon(IDR_MAINFRAME),
      m_services(std::move(services)), m_text(GetTextOps()) {
    MapCommand(IDC_BROWSE, &CMarlowickDlg::OnBnClickedBrowse);
    MapCommand(IDC_REFRESH, &CMarlowickDlg::OnRefresh);
    MapCommand(IDC_DEVICE_LIST, LBN_SELCHANGE, &CMarlowickDlg::OnSelchangeDeviceList);
    MapCommand(IDC_DEVICE_LIST, LBN_DBLCLK, [] {});
    MapCommand(IDC_FILE_ASSOCIATION, &CMarlowickDlg::OnCheckFileAssociation);
    MapCommand(IDC_TRANSFER, &CMarlowickDlg::OnBnClickedTransfer);
    MapCommand(IDC_CONFIRM_DIALOG, &CMarlowickDlg::OnBnClickedConfirmDialog);
    MapCommand(IDC_MONITOR_PAGE, &CMarlowickDlg::OnBnClickedMonitorPage);
    MapMessage(WM_CLOSE_MAIN, &CMarlowickDlg::OnCloseMain);
}

CMarlowickDlg::~CMarlowickDlg() {
    DestroyPeer();
}

CSettingsStore CMarlowickDlg::Store() const {
    return CSettingsStore(*m_services.pRegistry, m_services.strSettingsKey, m_text);
}

int CMarlowickDlg::MessageBoxOk(const std::string& strText) {
    return ShowMessageBox(strText, LoadResString(IDS_APP_TITLE), MB_OK);
}

void CMarlowickDlg::ShowStoreFailure(const CSettingsStore& store) {
    std::string strReason = store.LastErrorText();
    if (strReason.empty())
        strReason = "error " + std::to_string(store.LastStatus());
    MessageBoxOk("The settings could not be stored: " + strReason);
}

bool CMarlowickDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_hIcon);
    // The device search needs the socket library; a failure shows as an empty device list.
    if (m_services.pJobs)
        m_services.pJobs->StartSockets();
    SetItemReadOnly(IDC_TARGET_DEVICE, true);
    SetItemReadOnly(IDC_DESTINATION, true);

    if (m_bFileMode)
        LayoutFileMode();
    else if (m_bMonitorMode)
        LayoutMonitorMode();
    else if (m_bQueueMode)
        LayoutQueueMode();
    else
        LayoutNormalMode();

    const bool bActive = IsFileAssociationActive();
    CheckDlgButton(IDC_FILE_ASSOCIATION, bActive ? 1 : 0);
    SetAssociationCaption(bActive);
    CheckDlgButton(IDC_CONFIRM_DIALOG, Store().IsConfirmDialogOn() ? 1 : 0);
    m_infoTip.Create(this);
    // Other processes close the window by its caption.
    ServeRemoteMessages();
    // Every opening searches for devices once the window shows.
    PostCommand(IDC_REFRESH);
    return true;
}

// ---- Layout terms, in pixels of window rectangles taken while the window stands at the origin.

int CMarlowickDlg::TopOffset() const {
    const CRect rcWindow = GetWindowRect();
    const CRect rcClient = GetClientRect();
    return (rcWindow.Height() - rcClient.Height()) - (rcWindow.Width() - rcClient.Width()) / 2;
}

void CMarlowickDlg::MoveButtonUpTo(int nButton, int nBox) {
    const CRect rcButton = GetItemRect(nButton);
    const CRect rcBox = GetItemRect(nBox);
    const CPoint left = ScreenToClient({rcButton.left, rcButton.top});
    MoveItem(nButton,
             CRect::FromXywh(left.x, rcBox.top - TopOffset(), rcButton.Width(), rcButton.Height()));
}

void CMarlowickDlg::ShortenWindowBy(int nHeight) {
    const CRect rc = GetWindowRect();
    MoveWindow(CRect::FromXywh(0, 0, rc.Width(), rc.Height() - nHeight));
}

void CMarlowickDlg::NarrowWindow() {
    const CRect rc = GetWindowRect();
    MoveWindow(
        CRect::FromXywh(rc.left, rc.top, GetItemRect(IDC_DEVICE_LIST).Width() + 40, rc.Height()));
}

void CMarlowickDlg::HideBrowser() {
    MoveItem(IDC_WEB_BROWSER, CRect{});
}

void CMarlowickDlg::FillBoxesFromSettings() {
    SetItemText(IDC_USERNAME, m_strUserName);
    SetItemText(IDC_PASSWORD, m_strPassword);
    SetItemText(IDC_DESTINATION, m_strSubFolder.empty()
                                     ? m_strRootSharelist
                                     : m_strRootSharelist + "\\" + m_strSubFolder);
    // The address stands for the device until the search has found it by name.
    SetItemText(IDC_TARGET_DEVICE, m_strIP);
}

void CMarlowickDlg::LayoutFileMode() {
    for (int nId : {IDC_OPTIONS_BOX, IDC_FILE_ASSOCIATION, IDC_CONFIRM_DIALOG})
        ShowItem(nId, false);
    SetItemText(IDCANCEL, LoadResString(IDS_CLOSE));
    ShowItem(IDOK, false);
    CheckDlgButton(IDC_MONITOR_PAGE, 0);
    ShowItem(IDC_MONITOR_PAGE, false);
    MoveButtonUpTo(IDCANCEL, IDC_OPTIONS_BOX);
    MoveButtonUpTo(IDC_TRANSFER, IDC_OPTIONS_BOX);
    ShortenWindowBy(GetItemRect(IDC_OPTIONS_BOX).Height());
    FillBoxesFromSettings();
    HideBrowser();
    NarrowWindow();
}

void CMarlowickDlg::LayoutMonitorMode() {
    SetCaption(LoadResString(IDS_MONITOR_TITLE));
    for (int nId :
         {IDC_OPTIONS_BOX, IDC_SETTINGS_BOX, IDC_FILE_ASSOCIATION, IDC_CONFIRM_DIALOG,
          IDC_STATIC_TARGET, IDC_STATIC_DESTINATION, IDC_STATIC_ACCOUNT, IDC_STATIC_PASSWORD,
          IDC_USERNAME, IDC_PASSWORD, IDC_DESTINATION, IDC_TARGET_DEVICE, IDC_BROWSE})
        ShowItem(nId, false);
    SetItemText(IDCANCEL, LoadResString(IDS_CANCEL));
    SetItemText(IDOK, LoadResString(IDS_OK));
    ShowItem(IDOK, true);
    ShowItem(IDC_TRANSFER, false);
    MoveButtonUpTo(IDCANCEL, IDC_SETTINGS_BOX);
    // OK takes Transfer's place, level with the settings box.
    const CRect rcTransfer = GetItemRect(IDC_TRANSFER);
    const CPoint left = ScreenToClient({rcTransfer.left, rcTransfer.top});
    MoveItem(IDOK, CRect::FromXywh(left.x, GetItemRect(IDC_SETTINGS_BOX).top - TopOffset(),
                                   rcTransfer.Width(), rcTransfer.Height()));
    ShortenWindowBy(GetItemRect(IDC_OPTIONS_BOX).Height() + GetItemRect(IDC_SETTINGS_BOX).Height());
}

void CMarlowickDlg::LayoutQueueMode() {
    for (int nId : {IDC_OPTIONS_BOX, IDC_FILE_ASSOCIATION, IDC_CONFIRM_DIALOG})
        ShowItem(nId, false);
    SetItemText(IDCANCEL, LoadResString(IDS_CLOSE));
    ShowItem(IDOK, false);
    MoveButtonUpTo(IDCANCEL, IDC_OPTIONS_BOX);
    MoveButtonUpTo(IDC_TRANSFER, IDC_OPTIONS_BOX);
    ShortenWindowBy(GetItemRect(IDC_OPTIONS_BOX).Height());
    FillBoxesFromSettings();
}

void CMarlowickDlg::LayoutNormalMode() {
    CheckDlgButton(IDC_MONITOR_PAGE, 0);
    ShowItem(IDC_TRANSFER, false);
    HideBrowser();
    NarrowWindow();
    m_arrSavedEntries.clear();
    m_nSavedCount = Store().LoadSavedEntries(*this);
}

// ---- Sizing, painting, closing

int CMarlowickDlg::LayoutX(int nPixels) const {
    return (nPixels * GetBaseUnits().cx + 3) / 6;
}

int CMarlowickDlg::LayoutY(int nPixels) const {
    return (nPixels * GetBaseUnits().cy + 6) / 13;
}

CRect CMarlowickDlg::OnSizing(CSizingEdge /*edge*/, const CRect& rcProposed) {
    CRect rc = rcProposed;
    // The monitor layout shows its page from the start, as the page switch does.
    if (m_bShowDevicePage || m_bMonitorMode) {
        rc.bottom = rc.top + LayoutY(kWindowHeight);
        if (rc.Width() <= LayoutX(kMinPageWidth))
            rc.right = rc.left + LayoutX(kNarrowWidth);
        const int nLeft = LayoutX(kPageLeft);
        MoveItem(IDC_WEB_BROWSER,
                 CRect::FromXywh(nLeft, LayoutY(kPageTop), (rc.Width() - LayoutX(30)) - nLeft,
                                 LayoutY(kPageHeight)));
    } else {
        rc.right = rc.left + LayoutX(kNarrowWidth);
        rc.bottom = rc.top + LayoutY(m_bFileMode ? kFileModeHeight : kWindowHeight);
    }
    return rc;
}

bool CMarlowickDlg::OnPaint(CPaintSurface& surface) {
    if (!IsMinimized())
        return false;
    const CRect rc = GetClientRect();
    const CSize icon = GetUiBackend().GetIconSize();
    surface.DrawIcon({(rc.Width() - icon.cx + 1) / 2, (rc.Height() - icon.cy + 1) / 2}, m_hIcon,
                     icon);
    return true;
}

bool CMarlowickDlg::PreTranslateMessage(const CUiMessage& msg) {
    m_infoTip.RelayEvent(msg);
    return CDialog::PreTranslateMessage(msg);
}

LRESULT CMarlowickDlg::OnCloseMain(WPARAM /*wParam*/, LPARAM /*lParam*/) {
    PostCommand(IDCANCEL);
    return 0;
}

void CMarlowickDlg::OnDestroy() {
    LbResetContent(IDC_DEVICE_LIST);
    m_strlistDeviceIP.clear();
    m_infoTip.DestroyWindow();
    if (m_services.pJobs)
        m_services.pJobs->StopSockets();
}
