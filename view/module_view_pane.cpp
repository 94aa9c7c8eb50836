// The view's side of its information pane: making and removing it, keeping
// it in step with the selection and the WebView setting, and what it asks of
// the view.
#include "view/module_view.h"

#include "handlers/device_info.h"
#include "view/pane_layout.h"

namespace {

// The model's number and its name as the pane shows it.
int ReadModuleModel(std::wstring* name) {
    wchar_t buffer[kModelBufferChars] = {};
    int model = GetModuleModel(buffer);
    if (name) *name = std::wstring(buffer).substr(0, kPaneModelChars);
    return model;
}

}  // namespace

HRESULT ModuleView::CreatePane() {
    DestroyPane();
    if (!window_) return E_FAIL;
    HRESULT hr = infoPane_.Create(window_, this);
    if (FAILED(hr)) return hr;
    pane_ = infoPane_.Window();
    ChoosePanePicture();
    return S_OK;
}

// Asking for the model may start the device-information server: only a
// pane that is shown needs its picture.
void ModuleView::ChoosePanePicture() {
    if (webView_ && pane_ && !infoPane_.PictureChosen()) infoPane_.LoadPicture(ReadModuleModel(nullptr));
}

void ModuleView::DestroyPane() {
    if (paneTarget_ && pane_) RevokeDragDrop(pane_);
    paneTarget_.Reset();
    infoPane_.Destroy();
    pane_ = nullptr;
}

void ModuleView::RefreshPane() {
    if (webView_ && pane_) infoPane_.Refresh();
}

void ModuleView::SetWebView(bool on) {
    if (on == webView_) return;
    webView_ = on;
    ChoosePanePicture();
    if (!window_) return;
    RECT client = {};
    GetClientRect(window_, &client);
    Layout(client.right, client.bottom);
}

PaneContent ModuleView::CurrentPaneContent() {
    PaneFolderKind kind = isRoot_ ? PaneFolderKind::Root : isDrive_ ? PaneFolderKind::Drive : PaneFolderKind::Folder;
    std::wstring model;
    if (isRoot_) ReadModuleModel(&model);
    // The band shows the title alone.
    std::vector<LPCITEMIDLIST> selected;
    if (infoPane_.FullPane()) selected = SelectedItems();
    return ComposePaneContent(kind, path_, model, selected);
}

void ModuleView::OnPanePress(POINT client) {
    lastPress_ = client;
    EndRunningLabelEdit();
}

void ModuleView::OnPaneMenu(POINT screen) { ShowContextMenu(nullptr, screen); }
