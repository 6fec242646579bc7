#include "platform/ui/framework.h"

#include <utility>

namespace platform::ui {

const ControlTemplate* DialogTemplate::Control(int controlId) const {
  for (const ControlTemplate& control : controls) {
    if (control.id == controlId)
      return &control;
  }
  return nullptr;
}

WindowId UiContext::ActiveWindow() const {
  if (!m_pMainWnd)
    return kNullHandle;
  return (runningModal ? runningModal : m_pMainWnd)->window();
}

std::optional<std::wstring> UiContext::LoadString(UINT id) const {
  const auto it = resources.strings.find(id);
  if (it == resources.strings.end())
    return std::nullopt;
  return it->second;
}

int UiContext::AfxMessageBox(const std::wstring& text, UINT type) const {
  return frontend.MessageBox(ActiveWindow(), text, resources.appName, type);
}

int UiContext::AfxMessageBox(UINT stringId, UINT type) const {
  return AfxMessageBox(LoadString(stringId).value_or(L""), type);
}

int UiContext::GetOpenFileName(const std::wstring& filter, std::wstring& path) const {
  return frontend.GetOpenFileName(ActiveWindow(), filter, path);
}

void CWndItem::SetWindowText(const std::wstring& text) {
  if (dialog_)
    dialog_->SetDlgItemText(id_, text);
}

void CWndItem::ShowWindow(int command) {
  if (dialog_)
    dialog_->ui().frontend.ShowItem(dialog_->window(), id_, command);
}

LRESULT CWndItem::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return dialog_ ? dialog_->SendDlgItemMessage(id_, message, wParam, lParam) : 0;
}

CDialog::CDialog(UiContext& ui, int templateId) : ui_(ui), template_(nullptr) {
  const auto it = ui.resources.dialogs.find(templateId);
  if (it != ui.resources.dialogs.end())
    template_ = &it->second;
}

CDialog::~CDialog() {
  DestroyWindow();
  // The main window is gone: nothing belongs to it any more.
  if (ui_.m_pMainWnd == this)
    ui_.m_pMainWnd = nullptr;
}

int CDialog::DoModal() {
  if (!template_)
    return -1;
  const WindowId owner = ui_.ActiveWindow();
  const CDialog* outer = std::exchange(ui_.runningModal, this);
  const int result = ui_.frontend.RunModal(owner, *template_, *this);
  ui_.runningModal = outer;
  window_ = kNullHandle;
  return result;
}

bool CDialog::Create() {
  if (!template_)
    return false;
  window_ = ui_.frontend.CreateModeless(*template_, *this);
  return window_ != kNullHandle;
}

void CDialog::DestroyWindow() {
  if (window_ == kNullHandle)
    return;
  ui_.frontend.DestroyWindow(window_);
  window_ = kNullHandle;
}

void CDialog::EndDialog(int result) {
  ui_.frontend.EndDialog(window_, result);
}

void CDialog::SetDlgItemText(int id, const std::wstring& text) {
  ui_.frontend.SetItemText(window_, id, text);
}

LRESULT CDialog::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return ui_.frontend.SendItemMessage(window_, id, message, wParam, lParam);
}

LRESULT CDialog::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ui_.frontend.SendMessage(window_, message, wParam, lParam);
}

void CDialog::ShowWindow(int command) {
  ui_.frontend.ShowWindow(window_, command);
}
void CDialog::CenterWindow() {
  ui_.frontend.CenterWindow(window_);
}
void CDialog::SetForegroundWindow() {
  ui_.frontend.SetForegroundWindow(window_);
}
void CDialog::UpdateWindow() {
  ui_.frontend.UpdateWindow(window_);
}

int CDialog::GetCheckedRadioButton(int first, int last) {
  for (int id = first; id <= last; ++id) {
    if (SendDlgItemMessage(id, kBmGetCheck, 0, 0) == static_cast<LRESULT>(kBstChecked))
      return id;
  }
  return 0;
}

int CDialog::MessageBox(const std::wstring& text, const std::wstring& caption, UINT type) {
  return ui_.frontend.MessageBox(window_, text, caption, type);
}

bool CDialog::OnInitDialog() {
  DoDataExchange();
  return true;
}

void CDialog::OnOK() {
  EndDialog(kIdOk);
}
void CDialog::OnCancel() {
  EndDialog(kIdCancel);
}

void CDialog::OnCommand(int id) {
  if (id == kIdOk) {
    OnOK();
  } else if (id == kIdCancel) {
    OnCancel();
  }
}

void CDialog::DDX_Control(int id, CWndItem& item) {
  item.dialog_ = this;
  item.id_ = id;
}

bool CDialog::HandleInitDialog(WindowId window) {
  window_ = window;
  return OnInitDialog();
}

void CDialog::HandleCommand(int id) {
  OnCommand(id);
}

}  // namespace platform::ui
