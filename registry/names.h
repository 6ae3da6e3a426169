// The system's fixed names and texts: product names, registry locations, file names,
// window captions and messages. Every program takes them from here; texts are kept
// exactly as the users see them, blanks and spelling included.
#pragma once

namespace ferrolin {

// Product
inline constexpr wchar_t kProductName[] = L"Ferrolin";
inline constexpr wchar_t kProductTitle[] = L"Ferrolin 1.1";        // add-in title and file stem
inline constexpr wchar_t kProductTitle10[] = L"Ferrolin 1.0";      // stem of version 1.0
inline constexpr wchar_t kMessageTitle[] = L"Orvicta";             // title of most message boxes

// Install record (HKEY_CURRENT_USER)
inline constexpr long kHkeyCurrentUser = static_cast<long>(0x80000001);
inline constexpr wchar_t kRecordParentKey[] = L"Software\\Vandrel11";
inline constexpr wchar_t kRecordKey[] = L"Software\\Vandrel11\\Groupdate";
inline constexpr wchar_t kRecordKeyWithSlash[] = L"Software\\Vandrel11\\Groupdate\\";
inline constexpr wchar_t kRecordKey10[] = L"Software\\Vandrel\\Groupdate";
inline constexpr wchar_t kValueDir[] = L"Dir";
inline constexpr wchar_t kValueStatus[] = L"STATUS_APP";
inline constexpr wchar_t kValueAppExist[] = L"APP_EXIST";
inline constexpr wchar_t kValueConfig[] = L"set_confg";
inline constexpr wchar_t kValueRefInst[] = L"APP_REFINST";

// Registry layer errors
inline constexpr long kErrRegistry = 1001;
inline constexpr wchar_t kErrCreateKeyLibrary[] = L"It was impossible to create the registration key";
inline constexpr wchar_t kErrCreateKeySetup[] = L"No fue posible crear la clave del registro";
inline constexpr wchar_t kErrUnsupportedType[] = L"Tipo de valor no compatible";

// Library
inline constexpr wchar_t kLibraryName[] = L"IFR_v11";
inline constexpr wchar_t kLibraryFile[] = L"IFR_v11.dll";
inline constexpr wchar_t kLibraryProgId[] = L"IFR_v11.CLibrary";
inline constexpr wchar_t kMsgCantRegisterAddin[] = L"Can't register Addin.";

// Uninstallers
inline constexpr wchar_t kUninstaller10[] = L"UFR10";
inline constexpr wchar_t kUninstaller11[] = L"UFR11";
inline constexpr wchar_t kUninstallWaitText[] = L"... Uninstalling Ferrolin, please wait.";
inline constexpr wchar_t kWaitWindowClass[] = L"usfFR";           // class of UFR11's wait window
inline constexpr wchar_t kWaitWindowFont[] = L"Arial";
inline constexpr wchar_t kMsgUninstallPathNotFound[] =
    L"Uninstall path wasn't found.\rPlease remove it manually.";

// Setup: add-in files in the distribution folder
inline constexpr wchar_t kSourceWorkbook[] = L"fr.xla";
inline constexpr wchar_t kSourceHelp[] = L"fr.chm";
inline constexpr wchar_t kWorkbookExt[] = L".xla";
inline constexpr wchar_t kHelpExt[] = L".chm";
inline constexpr wchar_t kDefaultFolderDrive[] = L"C:\\";
inline constexpr wchar_t kRegistrarCommand[] = L"Regsvr32.exe ";

// Setup: window captions
inline constexpr wchar_t kCaptionTerms[] = L"Wizard Install  - Step 2 of 4 ";
inline constexpr wchar_t kCaptionDestination[] = L"Wizard Install  - Step 3 of 4";
inline constexpr wchar_t kCaptionAddin[] = L"Wizard Install  - Step 4 of 4 ";
inline constexpr wchar_t kCaptionEnd[] = L"Finishing Installation ...";
inline constexpr wchar_t kCaptionPicker[] = L"Select Path to Installation";
inline constexpr wchar_t kCaptionNewFolder[] = L"New Name Folder";

// Setup: messages
inline constexpr wchar_t kMsgExcelTooOld[] =
    L"Ferrolin 1.1 works with Excel 2000 for Windows or later versions.\r"
    L"It does not work with Excel 97 or earlier versions, and does not work with \r"
    L"Excel for Macintosh.";
inline constexpr wchar_t kMsgNotRegister[] = L"Not register the file ";
inline constexpr wchar_t kMsgCopyRegsvr32[] =
    L"An unexpected error has occurred when trying to copy the REGSVR32.exe file.";
inline constexpr wchar_t kMsgCopyVb6es[] =
    L"An unexpected error has occurred when trying to copy the VB6ES.DLL file.";
inline constexpr wchar_t kMsgCopyComdlg[] =
    L"An unexpected error has occurred when trying to copy the comdlg32.ocx file.";
inline constexpr wchar_t kMsgCopyFm20[] =
    L"An unexpected error has occurred when trying to copy the FM20.DLL file.";
inline constexpr wchar_t kMsgCopyMscomctl[] =
    L"An unexpected error has occurred when trying to copy the MSCOMCTL.OCX file.";
inline constexpr wchar_t kMsgCopyLibrary[] =
    L"An unexpected error has occurred when trying to copy the DLL.";
inline constexpr wchar_t kMsgCopyAddinHead[] =
    L"An unexpected error has occurred while trying to copy the ";
inline constexpr wchar_t kMsgCopyHelpHead[] =
    L"An unexpected error has occurred when trying to copy the Help for ";
inline constexpr wchar_t kMsgCopyTail[] = L" add-in.";
inline constexpr wchar_t kMsgCantContinue[] =
    L"Can't continue with the installation. \rPlease, Close all Workbooks of Microsoft Excel\r"
    L"to install this Add-in.";
inline constexpr wchar_t kMsgNameEmpty[] = L"Name is Empty..";
inline constexpr wchar_t kMsgCantRegisterInfo[] = L"Can't register information in SO";
inline constexpr wchar_t kMsgInstallFinished[] = L"The Installation was finished.";
inline constexpr wchar_t kMsgCantSendMail[] = L"Can't send mail.";
inline constexpr wchar_t kMsgConfirmCancel[] =
    L"Are you sure that you want to cancel the installation?";

}  // namespace ferrolin
