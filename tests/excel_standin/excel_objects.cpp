#include "excel_objects.h"

#include <shellapi.h>

#include <algorithm>
#include <cwctype>
#include <memory>

#include "excel_standin.h"
#include "standin_instance.h"

namespace excel_standin {

namespace {

// Excel's dispatch ids, as far as they matter; Hwnd is the stand-in's own.
enum : DISPID {
    kIdValue = 0x06,
    kIdName = 0x6E,
    kIdCount = 0x76,
    kIdApplication = 0x94,
    kIdParent = 0x96,
    kIdItem = 0xAA,
    kIdAdd = kDispidAdd,
    kIdRange = 0xC5,
    kIdTitle = 0xC7,
    kIdAddress = 0xEC,
    kIdClose = 0x115,
    kIdFullName = 0x121,
    kIdPath = 0x123,
    kIdSaved = 0x12A,
    kIdQuit = 0x12E,
    kIdActiveSheet = 0x133,
    kIdActiveWorkbook = 0x134,
    kIdDisplayAlerts = 0x157,
    kIdVersion = 0x188,
    kIdWindowState = 0x18C,
    kIdSheets = 0x1E5,
    kIdWorksheets = 0x1EE,
    kIdLibraryPath = 0x20E,
    kIdUserLibraryPath = 0x4B6,
    kIdAddIns = 0x225,
    kIdInstalled = kDispidInstalled,
    kIdWorkbooks = 0x23C,
    kIdVisible = 0x22E,
    kIdHyperlinks = 0x571,
    kIdSubAddress = 0x5BF,
    kIdFollow = 0x650,
    kIdHwnd = 0x7EE,
};

#define STANDIN_COMMON {L"Application", kIdApplication, kGet}, {L"Parent", kIdParent, kGet}

template <size_t N>
constexpr size_t CountOf(const Member (&)[N]) { return N; }

bool IsNumber(const VARIANT& v) {
    switch (V_VT(&v)) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8:
    case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_DECIMAL: case VT_CY:
        return true;
    default:
        return false;
    }
}

DispatchObject* NewWorkbooks();
DispatchObject* NewWorkbook(std::shared_ptr<WorkbookModel> book);
DispatchObject* NewSheets(std::shared_ptr<WorkbookModel> book, const wchar_t* className);
DispatchObject* NewWorksheet(std::shared_ptr<WorkbookModel> book, std::shared_ptr<SheetModel> sheet);
DispatchObject* NewAddIns();

// Application ----------------------------------------------------------------------------

const Member kApplicationMembers[] = {
    STANDIN_COMMON,
    {L"Name", kIdName, kGet},
    {L"Version", kIdVersion, kGet},
    {L"Workbooks", kIdWorkbooks, kGet},
    {L"AddIns", kIdAddIns, kGet},
    {L"Visible", kIdVisible, kGet | kPut},
    {L"WindowState", kIdWindowState, kGet | kPut},
    {L"DisplayAlerts", kIdDisplayAlerts, kGet | kPut},
    {L"ActiveWorkbook", kIdActiveWorkbook, kGet},
    {L"ActiveSheet", kIdActiveSheet, kGet},
    {L"Sheets", kIdSheets, kGet},
    {L"Worksheets", kIdWorksheets, kGet},
    {L"LibraryPath", kIdLibraryPath, kGet},
    {L"UserLibraryPath", kIdUserLibraryPath, kGet},
    {L"Hwnd", kIdHwnd, kGet},
    {L"Quit", kIdQuit, kMethod},
};

class ApplicationObject : public DispatchObject {
public:
    ApplicationObject()
        : DispatchObject(L"Application", kApplicationMembers, CountOf(kApplicationMembers), kIdName) {}

protected:
    void Call(DISPID id, const Args& args, bool put, VARIANT* result) override {
        Instance& instance = TheInstance();
        switch (id) {
        case kIdApplication:
        case kIdParent: return ReturnObject(result, new ApplicationObject());
        case kIdName: return ReturnText(result, kExcelCaption);
        case kIdVersion: return ReturnText(result, instance.knobs.version);
        case kIdWorkbooks: return ReturnObject(result, NewWorkbooks());
        case kIdAddIns: return ReturnObject(result, NewAddIns());
        case kIdVisible:
            if (put) return Show(args.valueBoolean());
            return ReturnBool(result, IsShown());
        case kIdWindowState:
            if (put) return SetWindowState(args.valueNumber());
            return ReturnLong(result, GetWindowState());
        case kIdDisplayAlerts:
            if (put) { instance.displayAlerts = args.valueBoolean(); return; }
            return ReturnBool(result, instance.displayAlerts);
        case kIdActiveWorkbook: {
            auto book = ActiveWorkbook();
            return ReturnObject(result, book ? NewWorkbook(book) : nullptr);
        }
        case kIdActiveSheet: {
            auto book = ActiveWorkbook();
            return ReturnObject(result, book ? NewWorksheet(book, book->sheets[book->activeSheet]) : nullptr);
        }
        case kIdSheets:
        case kIdWorksheets: {
            auto book = ActiveWorkbook();
            if (!book) ThrowUnableTo(L"get", id == kIdSheets ? L"Sheets" : L"Worksheets", L"Application");
            return ReturnObject(result, NewSheets(book, id == kIdSheets ? L"Sheets" : L"Worksheets"));
        }
        case kIdLibraryPath: return ReturnText(result, instance.knobs.libraryPath);
        case kIdUserLibraryPath: return ReturnText(result, UserLibraryPath());
        case kIdHwnd: return ReturnLong(result, static_cast<long>(reinterpret_cast<LONG_PTR>(instance.window)));
        case kIdQuit: return BeginQuit();
        }
    }
};

// Global -----------------------------------------------------------------------------------

const Member kGlobalMembers[] = {STANDIN_COMMON};

class GlobalObject : public DispatchObject {
public:
    GlobalObject() : DispatchObject(L"Global", kGlobalMembers, CountOf(kGlobalMembers), kIdApplication) {}

protected:
    void Call(DISPID, const Args&, bool, VARIANT* result) override {
        ReturnObject(result, new ApplicationObject());
    }
};

// Item(n), counted from 1, or Item(name) as the collection finds a name; error 9 when there
// is none.
template <class Model, class FindByName>
std::shared_ptr<Model> ItemOf(const std::vector<std::shared_ptr<Model>>& items, const Args& args, FindByName byName) {
    std::shared_ptr<Model> item;
    if (args.has(0) && IsNumber(args.at(0))) {
        const long index = args.number(0);
        if (index >= 1 && static_cast<size_t>(index) <= items.size()) item = items[index - 1];
    } else {
        item = byName(args.text(0));
    }
    if (!item) ThrowSubscriptOutOfRange();
    return item;
}

// Workbooks --------------------------------------------------------------------------------

const Member kWorkbooksMembers[] = {
    STANDIN_COMMON,
    {L"Count", kIdCount, kGet},
    {L"Item", kIdItem, kGet, 1},
    {L"Add", kIdAdd, kMethod, 1},
};

class WorkbooksObject : public DispatchObject {
public:
    WorkbooksObject() : DispatchObject(L"Workbooks", kWorkbooksMembers, CountOf(kWorkbooksMembers), kIdItem) {}

protected:
    void Call(DISPID id, const Args& args, bool, VARIANT* result) override {
        switch (id) {
        case kIdApplication:
        case kIdParent: return ReturnObject(result, new ApplicationObject());
        case kIdCount: return ReturnLong(result, static_cast<long>(VisibleWorkbooks().size()));
        case kIdItem: return ReturnObject(result, NewWorkbook(ItemOf(VisibleWorkbooks(), args, FindWorkbook)));
        case kIdAdd: return ReturnObject(result, NewWorkbook(AddBlankWorkbook()));
        }
    }
};

// Workbook ---------------------------------------------------------------------------------

const Member kWorkbookMembers[] = {
    STANDIN_COMMON,
    {L"Name", kIdName, kGet},
    {L"FullName", kIdFullName, kGet},
    {L"Path", kIdPath, kGet},
    {L"Saved", kIdSaved, kGet | kPut},
    {L"Sheets", kIdSheets, kGet},
    {L"Worksheets", kIdWorksheets, kGet},
    {L"ActiveSheet", kIdActiveSheet, kGet},
    {L"Close", kIdClose, kMethod, 3},
};

class WorkbookObject : public DispatchObject {
public:
    explicit WorkbookObject(std::shared_ptr<WorkbookModel> book)
        : DispatchObject(L"Workbook", kWorkbookMembers, CountOf(kWorkbookMembers), kIdName), book_(std::move(book)) {}

protected:
    bool Alive() const override { return book_->open; }
    void Call(DISPID id, const Args& args, bool put, VARIANT* result) override {
        switch (id) {
        case kIdApplication:
        case kIdParent: return ReturnObject(result, new ApplicationObject());
        case kIdName: return ReturnText(result, book_->name);
        case kIdFullName: return ReturnText(result, book_->fullName);
        case kIdPath: {
            size_t slash = book_->fullName.find_last_of(L'\\');
            return ReturnText(result, slash == std::wstring::npos ? L"" : book_->fullName.substr(0, slash));
        }
        case kIdSaved:
            if (put) { book_->dirty = !args.valueBoolean(); return; }
            return ReturnBool(result, !book_->dirty);
        case kIdSheets: return ReturnObject(result, NewSheets(book_, L"Sheets"));
        case kIdWorksheets: return ReturnObject(result, NewSheets(book_, L"Worksheets"));
        case kIdActiveSheet: return ReturnObject(result, NewWorksheet(book_, book_->sheets[book_->activeSheet]));
        case kIdClose:
            // An explicit SaveChanges answers the question; nothing is ever written.
            if (args.has(0)) book_->dirty = false;
            return CloseWorkbook(book_);
        }
    }

private:
    std::shared_ptr<WorkbookModel> book_;
};

// Sheets -----------------------------------------------------------------------------------

const Member kSheetsMembers[] = {
    STANDIN_COMMON,
    {L"Count", kIdCount, kGet},
    {L"Item", kIdItem, kGet, 1},
    {L"Add", kIdAdd, kMethod, 4},
};

class SheetsObject : public DispatchObject {
public:
    SheetsObject(std::shared_ptr<WorkbookModel> book, const wchar_t* className)
        : DispatchObject(className, kSheetsMembers, CountOf(kSheetsMembers), kIdItem), book_(std::move(book)) {}

protected:
    bool Alive() const override { return book_->open; }
    void Call(DISPID id, const Args& args, bool, VARIANT* result) override {
        switch (id) {
        case kIdApplication: return ReturnObject(result, new ApplicationObject());
        case kIdParent: return ReturnObject(result, NewWorkbook(book_));
        case kIdCount: return ReturnLong(result, static_cast<long>(book_->sheets.size()));
        case kIdItem: {
            const auto byName = [this](const std::wstring& name) {
                std::shared_ptr<SheetModel> sheet;
                for (const auto& candidate : book_->sheets)
                    if (SameText(candidate->name, name)) sheet = candidate;
                return sheet;
            };
            return ReturnObject(result, NewWorksheet(book_, ItemOf(book_->sheets, args, byName)));
        }
        case kIdAdd: return ReturnObject(result, NewWorksheet(book_, AddSheet(*book_)));
        }
    }

private:
    std::shared_ptr<WorkbookModel> book_;
};

// Range ------------------------------------------------------------------------------------

const Member kRangeMembers[] = {
    STANDIN_COMMON,
    {L"Value", kIdValue, kGet | kPut, 1},
    {L"Address", kIdAddress, kGet},
};

class RangeObject : public DispatchObject {
public:
    RangeObject(std::shared_ptr<WorkbookModel> book, std::shared_ptr<SheetModel> sheet, std::wstring address)
        : DispatchObject(L"Range", kRangeMembers, CountOf(kRangeMembers), kIdValue),
          book_(std::move(book)), sheet_(std::move(sheet)), address_(std::move(address)) {}

    // "$A$1" for "A1", as Excel gives a single cell's address.
    std::wstring Absolute() const {
        size_t digit = address_.find_first_of(L"0123456789");
        if (digit == std::wstring::npos || digit == 0) return address_;
        return L"$" + address_.substr(0, digit) + L"$" + address_.substr(digit);
    }
    const std::wstring& address() const { return address_; }

protected:
    bool Alive() const override { return book_->open; }
    void Call(DISPID id, const Args& args, bool put, VARIANT* result) override {
        switch (id) {
        case kIdApplication: return ReturnObject(result, new ApplicationObject());
        case kIdParent: return ReturnObject(result, NewWorksheet(book_, sheet_));
        case kIdValue:
            if (put) {
                ferrolin::unique_variant copy;
                if (FAILED(VariantCopy(copy.put(), const_cast<VARIANT*>(&args.value())))) ThrowTypeMismatch();
                sheet_->cells[address_] = std::move(copy);
                book_->dirty = true;
                return;
            } else {
                auto cell = sheet_->cells.find(address_);
                if (cell != sheet_->cells.end()) VariantCopy(result, cell->second.get());
                return;
            }
        case kIdAddress: return ReturnText(result, Absolute());
        }
    }

private:
    std::shared_ptr<WorkbookModel> book_;
    std::shared_ptr<SheetModel> sheet_;
    std::wstring address_;
};

// Hyperlink --------------------------------------------------------------------------------

const Member kHyperlinkMembers[] = {
    STANDIN_COMMON,
    {L"Name", kIdName, kGet},
    {L"Address", kIdAddress, kGet},
    {L"SubAddress", kIdSubAddress, kGet},
    {L"Follow", kIdFollow, kMethod, 5},
};

DispatchObject* NewHyperlinks(std::shared_ptr<WorkbookModel> book, std::shared_ptr<SheetModel> sheet);

class HyperlinkObject : public DispatchObject {
public:
    HyperlinkObject(std::shared_ptr<WorkbookModel> book, std::shared_ptr<SheetModel> sheet, size_t index)
        : DispatchObject(L"Hyperlink", kHyperlinkMembers, CountOf(kHyperlinkMembers), kIdName),
          book_(std::move(book)), sheet_(std::move(sheet)), index_(index) {}

protected:
    bool Alive() const override { return book_->open; }
    void Call(DISPID id, const Args&, bool, VARIANT* result) override {
        const HyperlinkModel& link = sheet_->hyperlinks[index_];
        switch (id) {
        case kIdApplication: return ReturnObject(result, new ApplicationObject());
        case kIdParent: return ReturnObject(result, NewWorksheet(book_, sheet_));
        case kIdName: return ReturnText(result, link.address.empty() ? link.subAddress : link.address);
        case kIdAddress: return ReturnText(result, link.address);
        case kIdSubAddress: return ReturnText(result, link.subAddress);
        case kIdFollow: {
            // A link inside the workbook (no address) has nothing for the shell to open.
            if (link.address.empty()) return;
            HINSTANCE done = ShellExecuteW(nullptr, L"open", link.address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            if (reinterpret_cast<INT_PTR>(done) <= 32) throw ExcelError{1004, L"Cannot open the specified file."};
            return;
        }
        }
    }

private:
    std::shared_ptr<WorkbookModel> book_;
    std::shared_ptr<SheetModel> sheet_;
    size_t index_;
};

// Hyperlinks -------------------------------------------------------------------------------

const Member kHyperlinksMembers[] = {
    STANDIN_COMMON,
    {L"Count", kIdCount, kGet},
    {L"Item", kIdItem, kGet, 1},
    {L"Add", kIdAdd, kMethod, 5},
};

// The cell an anchor names: a range of this instance directly, anything else by its Address.
std::wstring AnchorAddress(IDispatch* anchor) {
    if (DispatchObject* own = DispatchObject::FromUnknown(anchor)) {
        if (std::wstring(own->className()) == L"Range") return static_cast<RangeObject*>(own)->Absolute();
        ThrowTypeMismatch();
    }
    wchar_t name[] = L"Address";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(anchor->GetIDsOfNames(IID_NULL, names, 1, 1033, &id))) ThrowTypeMismatch();
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    ferrolin::unique_variant address;
    if (FAILED(anchor->Invoke(id, IID_NULL, 1033, DISPATCH_PROPERTYGET, &none, address.put(), nullptr, nullptr)) ||
        address.vt() != VT_BSTR)
        ThrowTypeMismatch();
    return V_BSTR(address.get()) ? V_BSTR(address.get()) : L"";
}

class HyperlinksObject : public DispatchObject {
public:
    HyperlinksObject(std::shared_ptr<WorkbookModel> book, std::shared_ptr<SheetModel> sheet)
        : DispatchObject(L"Hyperlinks", kHyperlinksMembers, CountOf(kHyperlinksMembers), kIdItem),
          book_(std::move(book)), sheet_(std::move(sheet)) {}

protected:
    bool Alive() const override { return book_->open; }
    void Call(DISPID id, const Args& args, bool, VARIANT* result) override {
        switch (id) {
        case kIdApplication: return ReturnObject(result, new ApplicationObject());
        case kIdParent: return ReturnObject(result, NewWorksheet(book_, sheet_));
        case kIdCount: return ReturnLong(result, static_cast<long>(sheet_->hyperlinks.size()));
        case kIdItem: {
            long index = args.number(0);
            if (index < 1 || static_cast<size_t>(index) > sheet_->hyperlinks.size()) ThrowSubscriptOutOfRange();
            return ReturnObject(result, new HyperlinkObject(book_, sheet_, static_cast<size_t>(index - 1)));
        }
        case kIdAdd: {
            HyperlinkModel link;
            link.anchor = AnchorAddress(args.object(0));
            link.address = args.text(1);
            if (args.has(2)) link.subAddress = args.text(2);
            sheet_->hyperlinks.push_back(link);
            book_->dirty = true;
            return ReturnObject(result, new HyperlinkObject(book_, sheet_, sheet_->hyperlinks.size() - 1));
        }
        }
    }

private:
    std::shared_ptr<WorkbookModel> book_;
    std::shared_ptr<SheetModel> sheet_;
};

DispatchObject* NewHyperlinks(std::shared_ptr<WorkbookModel> book, std::shared_ptr<SheetModel> sheet) {
    return new HyperlinksObject(std::move(book), std::move(sheet));
}

// Worksheet --------------------------------------------------------------------------------

const Member kWorksheetMembers[] = {
    STANDIN_COMMON,
    {L"Name", kIdName, kGet},
    {L"Range", kIdRange, kGet, 2},
    {L"Hyperlinks", kIdHyperlinks, kGet},
};

class WorksheetObject : public DispatchObject {
public:
    WorksheetObject(std::shared_ptr<WorkbookModel> book, std::shared_ptr<SheetModel> sheet)
        : DispatchObject(L"Worksheet", kWorksheetMembers, CountOf(kWorksheetMembers), kIdName),
          book_(std::move(book)), sheet_(std::move(sheet)) {}

protected:
    bool Alive() const override { return book_->open; }
    void Call(DISPID id, const Args& args, bool, VARIANT* result) override {
        switch (id) {
        case kIdApplication: return ReturnObject(result, new ApplicationObject());
        case kIdParent: return ReturnObject(result, NewWorkbook(book_));
        case kIdName: return ReturnText(result, sheet_->name);
        case kIdRange: {
            std::wstring address = args.text(0);
            for (wchar_t& c : address) c = static_cast<wchar_t>(towupper(c));
            address.erase(std::remove(address.begin(), address.end(), L'$'), address.end());
            if (address.empty()) ThrowUnableTo(L"get", L"Range", L"Worksheet");
            return ReturnObject(result, new RangeObject(book_, sheet_, address));
        }
        case kIdHyperlinks: return ReturnObject(result, NewHyperlinks(book_, sheet_));
        }
    }

private:
    std::shared_ptr<WorkbookModel> book_;
    std::shared_ptr<SheetModel> sheet_;
};

// AddIn ------------------------------------------------------------------------------------

const Member kAddInMembers[] = {
    STANDIN_COMMON,
    {L"Name", kIdName, kGet},
    {L"FullName", kIdFullName, kGet},
    {L"Path", kIdPath, kGet},
    {L"Title", kIdTitle, kGet},
    {L"Installed", kIdInstalled, kGet | kPut},
};

class AddInObject : public DispatchObject {
public:
    explicit AddInObject(std::shared_ptr<AddInModel> addin)
        : DispatchObject(L"AddIn", kAddInMembers, CountOf(kAddInMembers), kIdName), addin_(std::move(addin)) {}

protected:
    void Call(DISPID id, const Args& args, bool put, VARIANT* result) override {
        switch (id) {
        case kIdApplication:
        case kIdParent: return ReturnObject(result, new ApplicationObject());
        case kIdName: return ReturnText(result, addin_->name());
        case kIdFullName: return ReturnText(result, addin_->fullName);
        case kIdPath: return ReturnText(result, addin_->path());
        case kIdTitle: return ReturnText(result, addin_->title());
        case kIdInstalled:
            if (put) return SetInstalled(*addin_, args.valueBoolean());
            return ReturnBool(result, addin_->installed);
        }
    }

private:
    std::shared_ptr<AddInModel> addin_;
};

// AddIns -----------------------------------------------------------------------------------

const Member kAddInsMembers[] = {
    STANDIN_COMMON,
    {L"Count", kIdCount, kGet},
    {L"Item", kIdItem, kGet, 1},
    {L"Add", kIdAdd, kMethod, 2},
};

class AddInsObject : public DispatchObject {
public:
    AddInsObject() : DispatchObject(L"AddIns", kAddInsMembers, CountOf(kAddInsMembers), kIdItem) {}

protected:
    void Call(DISPID id, const Args& args, bool, VARIANT* result) override {
        const auto& addins = TheInstance().addins;
        switch (id) {
        case kIdApplication:
        case kIdParent: return ReturnObject(result, new ApplicationObject());
        case kIdCount: return ReturnLong(result, static_cast<long>(addins.size()));
        case kIdItem: return ReturnObject(result, new AddInObject(ItemOf(addins, args, FindAddIn)));
        case kIdAdd:
            // The copy flag only matters for files on removable media; it is not used.
            return ReturnObject(result, new AddInObject(ListAddIn(args.text(0))));
        }
    }
};

DispatchObject* NewWorkbooks() { return new WorkbooksObject(); }
DispatchObject* NewWorkbook(std::shared_ptr<WorkbookModel> book) { return new WorkbookObject(std::move(book)); }
DispatchObject* NewSheets(std::shared_ptr<WorkbookModel> book, const wchar_t* className) {
    return new SheetsObject(std::move(book), className);
}
DispatchObject* NewWorksheet(std::shared_ptr<WorkbookModel> book, std::shared_ptr<SheetModel> sheet) {
    return new WorksheetObject(std::move(book), std::move(sheet));
}
DispatchObject* NewAddIns() { return new AddInsObject(); }

}  // namespace

DispatchObject* NewApplication() { return new ApplicationObject(); }
DispatchObject* NewGlobal() { return new GlobalObject(); }

}  // namespace excel_standin
