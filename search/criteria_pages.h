// The three criteria pages of the search window: child dialogs inside its tab
// control. The window calls their four operations (enable after a search,
// disable before one, reset for New Search, load after Load search) and
// collects the criteria from them before Start and Save search.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "search/file_types.h"
#include "search/search_criteria.h"

class CriteriaPage {
public:
    virtual ~CriteriaPage();
    CriteriaPage(const CriteriaPage&) = delete;
    CriteriaPage& operator=(const CriteriaPage&) = delete;

    // Makes the page's window from its template, hidden, as a child of `parent`.
    HRESULT Create(HWND parent);
    void Destroy();
    HWND window() const { return window_; }

    void EnableControls() { SetControlsEnabled(true); }
    void DisableControls() { SetControlsEnabled(false); }
    virtual void Reset() = 0;
    virtual void LoadFrom(const SearchCriteria& criteria) = 0;
    // Writes the page's fields into the criteria.
    virtual void Collect(SearchCriteria* criteria) = 0;
    // The page's client size changed.
    virtual void Layout(int width, int height) {}
    // Commands of the page's own controls, and Browse forwarded by the window.
    virtual void OnCommand(UINT id, UINT code) {}

protected:
    CriteriaPage(UINT templateId, bool commonControlsReady)
        : templateId_(templateId), commonControlsReady_(commonControlsReady) {}
    virtual void OnInit() {}
    virtual void SetControlsEnabled(bool enabled);
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    std::wstring ItemText(int id, size_t limit = 0) const;

    UINT templateId_;
    bool commonControlsReady_;
    HWND window_ = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// Name/Location: name with its history, containing text, Look in, subfolders, Browse.
class NameLocationPage : public CriteriaPage {
public:
    NameLocationPage(bool commonControlsReady, std::wstring lookIn)
        : CriteriaPage(234, commonControlsReady), presetLookIn_(std::move(lookIn)) {}
    void Reset() override;
    void LoadFrom(const SearchCriteria& criteria) override;
    void Collect(SearchCriteria* criteria) override;
    void Layout(int width, int height) override;
    void OnCommand(UINT id, UINT code) override;

    // Selects the Look in entry with this path (ignoring case), adding one when none has it.
    void SetLookIn(const std::wstring& path);
    // The path Look in stands for: an entry's path, or the typed text with a leading "\".
    std::wstring LookInPath() const;

private:
    void OnInit() override;
    void FillHistory(const std::vector<std::wstring>& history);
    void FillLookIn();
    int AddLookInEntry(const std::wstring& text, const std::wstring& path, int image, int indent, int at);
    void Browse();

    std::wstring presetLookIn_;
    std::vector<std::wstring> lookInPaths_;   // by the entries' lParam
};

// Date: all files, or one of the three date criteria on one of the three times.
class DatePage : public CriteriaPage {
public:
    explicit DatePage(bool commonControlsReady) : CriteriaPage(235, commonControlsReady) {}
    void Reset() override;
    void LoadFrom(const SearchCriteria& criteria) override;
    void Collect(SearchCriteria* criteria) override;
    void OnCommand(UINT id, UINT code) override;

private:
    void OnInit() override;
    void SetControlsEnabled(bool enabled) override;
    void EnableChosen();
    bool ReadPicker(int id, SYSTEMTIME* date);

    bool enabled_ = true;
};

// Additional options: file type and size.
class OptionsPage : public CriteriaPage {
public:
    explicit OptionsPage(bool commonControlsReady) : CriteriaPage(236, commonControlsReady) {}
    void Reset() override;
    void LoadFrom(const SearchCriteria& criteria) override;
    void Collect(SearchCriteria* criteria) override;
    void Layout(int width, int height) override;

    const std::vector<FileTypeEntry>& types() const { return types_; }

private:
    void OnInit() override;

    std::vector<FileTypeEntry> types_;
};
