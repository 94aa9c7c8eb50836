// Paste and drop into the module on the worker thread: PC files in a data
// object made by the platform's own shell, the move hand-shake with the
// source, the clipboard test and the dragged-folder test.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <map>
#include <mutex>
#include <vector>

#include "common/com_object.h"
#include "common/holders.h"
#include "common/module_count.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_errors.h"
#include "item_id/module_item_id.h"
#include "resources/transfer_ids.h"
#include "tests/support/prompt_recorder.h"
#include "testing/substitute_server.h"
#include "tests/transfer/transfer_test_files.h"
#include "transfer/clipboard_formats.h"
#include "transfer/directory_data_format.h"
#include "transfer/hdrop_format.h"
#include "transfer/module_data_object.h"
#include "transfer/paste_operation.h"

using Microsoft::WRL::ComPtr;

namespace {

// A source that offers fixed blocks and notes every DWORD it is given.
class RecordingSource : public IDataObject, public RefCounted<RecordingSource> {
public:
    std::vector<std::pair<CLIPFORMAT, DWORD>> written;

    void Offer(CLIPFORMAT format, HGLOBAL block) { blocks_[format] = block; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDataObject) {
            *out = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        auto found = blocks_.find(format->cfFormat);
        if (found == blocks_.end() || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        SIZE_T size = GlobalSize(found->second);
        HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
        memcpy(GlobalLock(copy), GlobalLock(found->second), size);
        GlobalUnlock(copy);
        GlobalUnlock(found->second);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return blocks_.count(format->cfFormat) ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override {
        DWORD value = 0;
        if (medium->tymed == TYMED_HGLOBAL && GlobalSize(medium->hGlobal) >= 4) {
            memcpy(&value, GlobalLock(medium->hGlobal), 4);
            GlobalUnlock(medium->hGlobal);
        }
        written.emplace_back(format->cfFormat, value);
        if (release) ReleaseStgMedium(medium);
        return S_OK;
    }
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        std::vector<FORMATETC> formats;
        if (direction == DATADIR_GET) {
            for (const auto& block : blocks_) formats.push_back(HGlobalFormatEtc(block.first));
        } else {
            formats.push_back(HGlobalFormatEtc(ClipboardFormat(ModuleClipboardFormat::PasteSucceeded)));
            formats.push_back(
                HGlobalFormatEtc(ClipboardFormat(ModuleClipboardFormat::PerformedDropEffect)));
        }
        return SHCreateStdEnumFmtEtc(static_cast<UINT>(formats.size()), formats.data(), out);
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    ~RecordingSource() override {
        for (auto& block : blocks_) GlobalFree(block.second);
    }
    friend class RefCounted<RecordingSource>;
    std::map<CLIPFORMAT, HGLOBAL> blocks_;
};

class PasteTest : public testing::Test {
protected:
    void SetUp() override {
        objectsBefore_ = ModuleObjectCount();
        ASSERT_EQ(S_OK, EnterComThread());
        ASSERT_TRUE(module_.ok());
    }
    void TearDown() override {
        OleSetClipboard(nullptr);
        LeaveComThread();
        EXPECT_EQ(objectsBefore_, ModuleObjectCount());
    }
    std::string ModuleBytes(const std::wstring& path) const {
        return ReadPcFile(module_.PcPath(path));
    }

    ComPtr<RecordingSource> PcSource(const std::vector<std::wstring>& paths) {
        ComPtr<RecordingSource> source;
        *source.GetAddressOf() = new RecordingSource;   // takes the first reference
        HGLOBAL block = nullptr;
        EXPECT_EQ(S_OK, BuildDropFiles(paths, &block));
        source->Offer(CF_HDROP, block);
        return source;
    }

    LONG objectsBefore_ = 0;
    SubstituteModule module_;
    PromptRecorder prompts_;
    PcFolder pc_;
};

// The shell's data object for two PC files
HRESULT ShellDataObject(const std::wstring& folderPath, std::vector<const wchar_t*> names,
                        IDataObject** out) {
    ComPtr<IShellFolder> desktop, folder;
    HRESULT hr = SHGetDesktopFolder(&desktop);
    if (FAILED(hr)) return hr;
    IdListHolder folderList;
    hr = desktop->ParseDisplayName(nullptr, nullptr, const_cast<LPWSTR>(folderPath.c_str()),
                                   nullptr, folderList.out(), nullptr);
    if (FAILED(hr)) return hr;
    hr = desktop->BindToObject(folderList.get(), nullptr, IID_PPV_ARGS(&folder));
    if (FAILED(hr)) return hr;
    std::vector<IdListHolder> children(names.size());
    std::vector<LPCITEMIDLIST> lists;
    for (size_t i = 0; i < names.size(); ++i) {
        hr = folder->ParseDisplayName(nullptr, nullptr, const_cast<LPWSTR>(names[i]), nullptr,
                                      children[i].out(), nullptr);
        if (FAILED(hr)) return hr;
        lists.push_back(children[i].get());
    }
    return folder->GetUIObjectOf(nullptr, static_cast<UINT>(lists.size()), lists.data(),
                                 IID_IDataObject, nullptr, reinterpret_cast<void**>(out));
}

}  // namespace

// PC files in the platform shell's own data object, dropped on a module
// folder: the drop waits, the files arrive, the done flag is set.
TEST_F(PasteTest, ShellsDataObjectIntoModuleFolder) {
    pc_.Write(L"one.txt", "first file");
    pc_.Write(L"two.bin", std::string(9000, '\x7f'));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, ShellDataObject(pc_.root(), {L"one.txt", L"two.bin"}, &data));
    volatile LONG done = 7;
    EXPECT_EQ(S_OK, StartPasteOperation(L"\\A:\\Data", nullptr, data.Get(), DROPEFFECT_COPY, true,
                                        &done));
    EXPECT_EQ(1, done);
    EXPECT_EQ("first file", ModuleBytes(L"\\A:\\Data\\one.txt"));
    EXPECT_EQ(std::string(9000, '\x7f'), ModuleBytes(L"\\A:\\Data\\two.bin"));
    EXPECT_EQ(0u, prompts_.Count());

    // A paste from the menu returns at once; the worker calls back into this
    // thread for the files while it pumps.
    done = 7;
    const LONG objects = ModuleObjectCount();
    EXPECT_EQ(S_OK, StartPasteOperation(L"\\A:\\Pictures", nullptr, data.Get(), 0, false, &done));
    // The running worker holds the library; it lets go when it ends.
    for (int i = 0; i < 300 && ModuleObjectCount() != objects; ++i) {
        PumpMessages();
        Sleep(50);
    }
    EXPECT_EQ(objects, ModuleObjectCount());
    EXPECT_EQ(1, done);
    EXPECT_EQ("first file", ModuleBytes(L"\\A:\\Pictures\\one.txt"));

    // The same object on the clipboard can be pasted; text alone cannot.
    ASSERT_EQ(S_OK, OleSetClipboard(data.Get()));
    EXPECT_TRUE(CanPaste());
    ASSERT_EQ(S_OK, OleSetClipboard(nullptr));
    EXPECT_FALSE(CanPaste());
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 4);
    SetClipboardData(CF_UNICODETEXT, text);
    CloseClipboard();
    EXPECT_FALSE(CanPaste());
    EXPECT_EQ(E_FAIL, StartPasteOperation(L"\\A:\\Data", nullptr, nullptr, 0, true, nullptr));
    EXPECT_EQ(0u, prompts_.Count());
}

// A PC move tells the source before the copy and after it: "Paste
// Succeeded" 2 only when every file arrived, else 0 and no done flag.
TEST_F(PasteTest, MoveHandShakeWithThePcSource) {
    pc_.Write(L"a.txt", "new a");
    pc_.Write(L"Notes.txt", "new notes");
    const CLIPFORMAT performed = ClipboardFormat(ModuleClipboardFormat::PerformedDropEffect);
    const CLIPFORMAT succeeded = ClipboardFormat(ModuleClipboardFormat::PasteSucceeded);
    struct Case { const char* name; INT_PTR answer; DWORD result; LONG done; };
    const Case cases[] = {
        {"No to replacing Notes.txt", IDNO, 0, 0},
        {"Yes", IDYES, DROPEFFECT_MOVE, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComPtr<RecordingSource> source = PcSource({pc_.Path(L"a.txt"), pc_.Path(L"Notes.txt")});
        prompts_.SetDefaultAnswer(c.answer);
        volatile LONG done = 5;
        EXPECT_EQ(S_OK, StartPasteOperation(L"\\A:\\Data", nullptr, source.Get(), DROPEFFECT_MOVE,
                                            true, &done));
        EXPECT_EQ(c.done, done);
        std::vector<std::pair<CLIPFORMAT, DWORD>> expected = {{performed, DROPEFFECT_MOVE},
                                                               {succeeded, c.result}};
        EXPECT_EQ(expected, source->written);
    }
    EXPECT_EQ("new notes", ModuleBytes(L"\\A:\\Data\\Notes.txt"));
    // The engine itself never removes PC files.
    EXPECT_EQ("new a", ReadPcFile(pc_.Path(L"a.txt")));
}

// A Cut in one module folder pasted into another: the module's own data
// object hears "Paste Succeeded" and removes its file; after a No to
// replacing, nothing is removed.
TEST_F(PasteTest, CutModuleFileMovesWithinTheModule) {
    ComPtr<ModuleAccess> access;
    ASSERT_EQ(S_OK, module_.Create(&access));
    const std::string notes = ModuleBytes(L"\\A:\\Data\\Notes.txt");
    {
        ComPtr<IStream> older;
        *older.GetAddressOf() = SHCreateMemStream(reinterpret_cast<const BYTE*>("older"), 5);
        UniqueBstr path(L"\\A:\\Pictures\\Notes.txt");
        ASSERT_EQ(S_OK, access->WriteFile(path.get(), older.Get(), FILE_ATTRIBUTE_ARCHIVE));
    }
    struct Case { const char* name; INT_PTR answer; LONG done; const char* target; bool kept; };
    const Case cases[] = {
        {"No", IDNO, 0, "older", true},
        {"Yes", IDYES, 1, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LONG objects = ModuleObjectCount();
        IdListHolder item;
        ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Notes.txt", access.Get(), item.out()));
        LPCITEMIDLIST items[] = {item.get()};
        ComPtr<ModuleDataObject> cut;
        ASSERT_EQ(S_OK, ModuleDataObject::Create(L"\\A:\\Data", nullptr, items, 1, DROPEFFECT_MOVE,
                                                 nullptr, cut.GetAddressOf()));
        ASSERT_EQ(S_OK, cut->Fill(access.Get()));
        prompts_.SetDefaultAnswer(c.answer);
        volatile LONG done = 9;
        EXPECT_EQ(S_OK, StartPasteOperation(L"\\A:\\Pictures", nullptr, cut.Get(), 0, true, &done));
        EXPECT_EQ(c.done, done);
        cut.Reset();
        // The source's delete runs on a thread of its own.
        for (int i = 0; i < 200 && ModuleObjectCount() != objects; ++i) {
            PumpMessages();
            Sleep(50);
        }
        EXPECT_EQ(objects, ModuleObjectCount());
        EXPECT_EQ(c.target ? c.target : notes, ModuleBytes(L"\\A:\\Pictures\\Notes.txt"));
        EXPECT_EQ(c.kept ? notes : "<missing>", ModuleBytes(L"\\A:\\Data\\Notes.txt"));
    }
}

// A paste without a destination beeps; a block that lies about its contents
// is refused with a message and writes nothing.
TEST_F(PasteTest, NoDestinationAndBrokenBlocks) {
    ComPtr<RecordingSource> source = PcSource({pc_.Path(L"x.txt")});
    EXPECT_EQ(S_OK, StartPasteOperation(L"", nullptr, source.Get(), DROPEFFECT_COPY, true, nullptr));
    EXPECT_TRUE(source->written.empty());

    ComPtr<RecordingSource> broken;
    *broken.GetAddressOf() = new RecordingSource;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 24);
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    header->pFiles = 4000;   // far outside the block
    header->fWide = TRUE;
    GlobalUnlock(block);
    broken->Offer(CF_HDROP, block);
    prompts_.SetDefaultAnswer(IDOK);
    volatile LONG done = 3;
    EXPECT_EQ(S_OK, StartPasteOperation(L"\\A:\\Data", nullptr, broken.Get(), DROPEFFECT_MOVE, true,
                                        &done));
    EXPECT_EQ(0, done);
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(0u, prompts_.Last().text.find(ErrorText(E_BAD_FORMAT_BLOCK)));
    const CLIPFORMAT succeeded = ClipboardFormat(ModuleClipboardFormat::PasteSucceeded);
    ASSERT_FALSE(broken->written.empty());
    EXPECT_EQ(std::make_pair(succeeded, DWORD(0)), broken->written.back());

}

// The drop target's question: is the folder under the cursor one of the
// dragged folders (or drives)?
TEST(IsDraggedFolder, MatchesDraggedFoldersOnly) {
    IdListHolder folder(MakeItemId(L"\\A:\\Data\\Archive", L"ARCHIVE", 0, FILE_ATTRIBUTE_DIRECTORY,
                                   0, 0, 0));
    IdListHolder file(MakeItemId(L"\\A:\\Data\\Notes.txt", L"NOTES.TXT", 5, 0, 0, 0, 0));
    LPCITEMIDLIST items[] = {folder.get(), file.get()};
    HGLOBAL block = nullptr;
    ASSERT_EQ(S_OK, BuildDirectoryData(L"\\A:\\Data", items, 2, &block));
    ComPtr<RecordingSource> source;
    *source.GetAddressOf() = new RecordingSource;   // takes the first reference
    source->Offer(ClipboardFormat(ModuleClipboardFormat::DirectoryData), block);
    EXPECT_TRUE(IsDraggedFolder(L"\\a:\\data\\ARCHIVE", source.Get()));
    EXPECT_FALSE(IsDraggedFolder(L"\\A:\\Data\\Notes.txt", source.Get()));
    EXPECT_FALSE(IsDraggedFolder(L"\\A:\\Data\\Archive\\Deep", source.Get()));
    EXPECT_FALSE(IsDraggedFolder(L"\\A:\\Data", source.Get()));
    EXPECT_FALSE(IsDraggedFolder(L"\\A:\\Data\\Archive", nullptr));
}
