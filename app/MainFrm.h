// The main frame: toolbar and first dialog bar in a rebar, the second dialog bar (the
// banner's host), the status bar and a 1x2 splitter with the browse tree and the item list.
#pragma once
#include <memory>

#include "CreditsCtrl.h"
#include "FrameWnd.h"
#include "OpcRecorder.h"
#include "PloverMessages.h"
#include "Splitter.h"
#include "TrendWnd.h"
#include "ViewFrame.h"
#include "Workspace.h"
#include "resource.h"

class CBrowseView;
class COpcServer;
class CPloverView;

class CMainFrame : public CFrameWnd, public IViewFrame {
 public:
  static const UINT_PTR kBannerTimer = 1001;

  // The panes, when they exist and are of the expected class.
  CBrowseView* GetBrowseView() const;
  CPloverView* GetItemView() const;
  // The browse view's client object, if the pane exists.
  COpcServer* GetOpcServer() const;
  // Whether the browse view's OPC client is connected.
  BOOL IsServerConnected() const;
  // What OK in the server selection does: the browse view gets the ProgID and node and
  // connects. A node reached this way is remembered for the node list.
  void ConnectServer(const std::wstring& progId, const std::wstring& node);

  // The intermediary operations for the two views.
  std::wstring GetValueText(const COpcItem* item) override;
  std::wstring GetValueTypeText(const COpcItem* item) override;
  COpcGroup* SelectGroup(OPCHANDLE group) override;
  COpcGroup* GetGroup(OPCHANDLE group) override;
  BOOL RemoveGroup(OPCHANDLE group) override;
  BOOL RemoveItem(COpcItem* item) override;
  COpcItem* ResolveItem(OPCHANDLE hClient) override;
  void GetItemAttributes(const COpcItem* item, ItemAttributeText& info) override;
  void GetGroupActiveStates(OPCHANDLE group, ItemActiveMap& byClient) override;
  void GetItemProperties(const COpcItem* item, std::vector<OpcPropertyRow>& rows) override;
  HRESULT SetItemActive(COpcItem* item, BOOL active) override;
  HRESULT SetItemsActive(const std::vector<COpcItem*>& items, BOOL active,
                         std::vector<HRESULT>& errors) override;
  BOOL ReadCache(COpcItem* item) override;
  BOOL ReadDevice(COpcItem* item) override;
  BOOL AsyncReadCache(COpcItem* item) override;
  BOOL AsyncReadDevice(COpcItem* item) override;
  BOOL RefreshCache() override;
  BOOL RefreshDevice() override;
  BOOL WriteSync(COpcItem* item, const std::wstring& text, std::wstring* reason) override;
  BOOL WriteAsync(COpcItem* item, const std::wstring& text, std::wstring* reason) override;
  void DisconnectServer() override { OnOpcDisconnect(); }
  bool ReconnectAfterLoss(bool shutdownRequest, const std::wstring& text) override;
  void OnItemAdded(OPCHANDLE group, COpcItem* item) override;
  void HighlightItem(const COpcItem* item) override;
  void OnGroupData(WPARAM wParam, LPARAM lParam) override;

  // Shows the window where it was when it last closed (the profile), or maximised on the
  // first start and when that place is on no screen any more.
  void ShowAtStart();
  static constexpr const wchar_t* kSettingsSection = L"Settings";
  static constexpr const wchar_t* kPlacementEntry = L"WindowPlacement";
  static constexpr const wchar_t* kTreeWidthEntry = L"TreeWidth";
  static const int kFirstTreeWidth = 100;

  // Connecting again by itself after a lost server (Reconnect.cpp): the user's setting, kept
  // in the profile; the attempts run on this timer, each pause longer up to 30 s.
  static const UINT_PTR kReconnectTimer = 1002;
  static constexpr const wchar_t* kAutoReconnectEntry = L"AutoReconnect";
  bool GetAutoReconnect() const { return m_bAutoReconnect; }
  void SetAutoReconnect(bool on);
  bool IsReconnecting() const { return m_pReconnect != nullptr; }
  int ReconnectAttempts() const { return m_pReconnect ? m_pReconnect->attempts : 0; }
  // The pause after that many failed attempts: 1 s, doubling, at most 30 s.
  static UINT ReconnectPauseMs(int failed);
  // Ends the attempts and leaves the program as a disconnect does; false when none ran.
  bool StopReconnect();
  BOOL PreTranslateMessage(MSG* pMsg) override;

  // Recording every data change to a CSV file (Recording.cpp); the file is written out on
  // this timer when values stop coming.
  static const UINT_PTR kRecordTimer = ID_FILE_RECORD_START;
  static const UINT kRecordFlushMs = 500;
  const COpcRecorder* GetRecorder() const { return m_pRecorder.get(); }
  // Writes everything received, closes the file and says so in the status bar (a file that
  // could not take it in a box); false when no recording ran.
  bool StopRecording();
  // The trend window (TrendOpen.cpp): the item list's selected rows as pens, in the one
  // window there is, opened when it is not; none while it is closed.
  void OpenTrend();
  CTrendWnd* GetTrendWnd() const { return m_pTrend && m_pTrend->m_hWnd ? m_pTrend.get() : nullptr; }

  CSplitterWnd& GetSplitter() { return m_wndSplitter; }
  CToolBar& GetToolBar() { return m_wndToolBar; }
  CStatusBar& GetStatusBar() { return m_wndStatusBar; }
  CReBar& GetReBar() { return m_wndReBar; }
  CDialogBar& GetDialogBar() { return m_wndDlgBar; }
  CDialogBar& GetPLDialogBar() { return m_wndPLDialogBar; }
  CCreditsCtrl& GetCreditsBanner() { return m_wndCredits; }

  // clang-format off
  BEGIN_MSG_MAP(CMainFrame)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    MESSAGE_HANDLER(WM_OPC_GROUPCHANGED, OnRelayToItemView)
    MESSAGE_HANDLER(WM_OPC_GROUPDELETED, OnRelayToItemView)
    COMMAND_ID_HANDLER(ID_OPC_CONNECT, OnOpcConnect)
    COMMAND_ID_HANDLER(ID_OPC_DISCONNECT, OnDisconnectCommand)
    COMMAND_ID_HANDLER(ID_OPC_SERVER_PROPERTIES, OnOpcServerProperties)
    COMMAND_ID_HANDLER(ID_OPC_GROUP_MANAGEMENT, OnOpcGroupManagement)
    COMMAND_ID_HANDLER(ID_OPC_BROWSE_OPTIONS, OnOpcBrowseOptions)
    UPDATE_COMMAND_UI(ID_OPC_CONNECT, OnUpdateWhenDisconnected)
    UPDATE_COMMAND_UI(ID_OPC_BROWSE_OPTIONS, OnUpdateWhenDisconnected)
    UPDATE_COMMAND_UI(ID_OPC_DISCONNECT, OnUpdateDisconnect)
    COMMAND_ID_HANDLER(ID_VIEW_AUTO_RECONNECT, OnViewAutoReconnect)
    UPDATE_COMMAND_UI(ID_VIEW_AUTO_RECONNECT, OnUpdateAutoReconnect)
    UPDATE_COMMAND_UI(ID_OPC_SERVER_PROPERTIES, OnUpdateWhenConnected)
    UPDATE_COMMAND_UI(ID_OPC_GROUP_MANAGEMENT, OnUpdateWhenConnected)
    COMMAND_ID_HANDLER(ID_VIEW_PLDIALOGBAR, OnViewPLDialogBar)
    UPDATE_COMMAND_UI(ID_VIEW_PLDIALOGBAR, OnUpdateControlBarMenu)
    COMMAND_ID_HANDLER(ID_FILE_RECORD_START, OnRecordStart)
    COMMAND_ID_HANDLER(ID_FILE_RECORD_STOP, OnRecordStop)
    UPDATE_COMMAND_UI(ID_FILE_RECORD_START, OnUpdateRecordStart)
    UPDATE_COMMAND_UI(ID_FILE_RECORD_STOP, OnUpdateRecording)
    COMMAND_ID_HANDLER(ID_VIEW_TREND, OpenTrend)
    UPDATE_COMMAND_UI(ID_VIEW_TREND, OnUpdateTrend)
    CHAIN_MSG_MAP(CFrameWnd)
  END_MSG_MAP()
  // clang-format on

 protected:
  int OnCreate(LPCREATESTRUCTW lpcs) override;
  BOOL OnCreateClient(LPCREATESTRUCTW lpcs, CDocument* pDoc) override;

 private:
  LRESULT OnTimer(UINT, WPARAM wParam, LPARAM, BOOL&);
  // Keeps the window's place and the tree's width for the next start.
  LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled);
  BOOL ShowSavedPlacement();
  LRESULT OnRelayToItemView(UINT uMsg, WPARAM, LPARAM lParam, BOOL&);
  void OnOpcConnect();
  void OnOpcDisconnect();
  void OnDisconnectCommand();
  // The user's own connect or disconnect replaces what an opened workspace showed.
  void LeaveWorkspace();
  void OnOpcServerProperties();
  void OnOpcGroupManagement();
  void OnOpcBrowseOptions();
  void OnUpdateWhenDisconnected(CCmdUI& ui);
  void OnUpdateWhenConnected(CCmdUI& ui);
  void OnViewPLDialogBar() { OnBarCheck(ID_VIEW_PLDIALOGBAR); }
  void OnUpdateDisconnect(CCmdUI& ui);
  void OnViewAutoReconnect() { SetAutoReconnect(!m_bAutoReconnect); }
  void OnUpdateAutoReconnect(CCmdUI& ui) { ui.SetCheck(m_bAutoReconnect ? 1 : 0); }
  // Rows to draw, or a trend window to bring forward.
  void OnUpdateTrend(CCmdUI& ui);
  // The next attempt after the pause its number calls for; one attempt.
  void ScheduleReconnect();
  void AttemptReconnect();
  BOOL Write(COpcItem* item, const std::wstring& text, bool async, std::wstring* reason);
  void OnRecordStart();
  void OnRecordStop() { StopRecording(); }
  void OnRecordTimer();
  void ShowRecordStatus();
  void OnUpdateRecordStart(CCmdUI& ui);
  void OnUpdateRecording(CCmdUI& ui) { ui.Enable(m_pRecorder != nullptr); }

  // Owned in this order.
  CSplitterWnd m_wndSplitter;
  CStatusBar m_wndStatusBar;
  CToolBar m_wndToolBar;
  CReBar m_wndReBar;
  CDialogBar m_wndDlgBar;
  CDialogBar m_wndPLDialogBar;
  // The credits banner, created inside the second dialog bar by timer 1001.
  CCreditsCtrl m_wndCredits;
  // Shown at start: a window the user never saw has no place worth keeping.
  bool m_bShown = false;

  // What a lost server left to bring back, while the attempts run.
  struct ReconnectState {
    workspace::Workspace ws;
    OPCHANDLE currentGroup = 0;
    int attempts = 0;
    std::wstring lossText;  // one line
  };
  std::unique_ptr<ReconnectState> m_pReconnect;
  bool m_bAutoReconnect = true;
  std::unique_ptr<COpcRecorder> m_pRecorder;
  std::wstring m_strRecordStatus;  // the running recording's last status text
  std::unique_ptr<CTrendWnd> m_pTrend;
};
