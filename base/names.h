// The system's fixed names and texts: product names, registry locations, file names,
// window captions and messages. Every program takes them from here; texts are kept
// exactly as the users see them, blanks and spelling included.
#pragma once

// Version information of the programs, read by the resource compiler too (version_info.rc).
#define FERROLIN_VERSION_NUMBERS 1, 1, 0, 0
#define FERROLIN_VERSION_TEXT "1.1"
#define FERROLIN_COMPANY_NAME "Orvicta"
#define FERROLIN_PRODUCT_NAME "Ferrolin 1.1"
#define FERROLIN_SETUP_DESCRIPTION "Ferrolin 1.1 Setup"
#define FERROLIN_UNINSTALL11_DESCRIPTION "Ferrolin 1.1 Uninstall"
#define FERROLIN_UNINSTALL10_DESCRIPTION "Ferrolin 1.0 Uninstall"

#ifndef RC_INVOKED
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
// The record's texts: the status (stored encoded), APP_EXIST once the add-in removed
// itself, APP_REFINST as setup writes it.
inline constexpr wchar_t kStatusInstalled[] = L"True";
inline constexpr wchar_t kStatusRemoved[] = L"False";
inline constexpr wchar_t kAppExistRemoved[] = L"01";
inline constexpr wchar_t kRefInstBySetup[] = L"1";

// Registry layer errors
inline constexpr long kErrRegistry = 1001;
inline constexpr wchar_t kErrCreateKeyLibrary[] = L"It was impossible to create the registration key";
inline constexpr wchar_t kErrCreateKeySetup[] = L"No fue posible crear la clave del registro";
inline constexpr wchar_t kErrUnsupportedType[] = L"Tipo de valor no compatible";

// Library
inline constexpr wchar_t kLibraryName[] = L"IFR_v11";
inline constexpr wchar_t kLibraryFile[] = L"IFR_v11.dll";
// The 32-bit library beside the 64-bit setup, installed as kLibraryFile for 32-bit Excel.
inline constexpr wchar_t kLibrary32Source[] = L"IFR_v11_x86.dll";
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
// The user's Excel open when an uninstaller starts; %s twice: the version's title.
inline constexpr wchar_t kMsgCloseExcelToRemove[] =
    L"Microsoft Excel is open. Please close it before %s is removed: Excel holds the add-in open "
    L"while it runs and writes its list of add-ins back when it closes, so an Excel left open would "
    L"put %s back on the list.\r"
    L"Close every Excel window, then click Retry. Cancel ends the removal without changing anything.";
// The uninstaller's own Excel stopped answering or did not end, and was ended: its list of
// add-ins may still hold the add-in. %s three times: the version's title.
inline constexpr wchar_t kMsgExcelNotEndedToRemove[] =
    L"Microsoft Excel did not answer or did not close when asked, so %s may still be in its list of "
    L"add-ins.\r"
    L"If Excel asks for %s when it starts, open its Add-ins dialog (File > Options > Add-ins > Go...), "
    L"untick %s and let Excel delete it from the list.";
// The uninstaller runs as another account than the desktop's signed-in user (elevated with
// an administrator's password); %s: the program, its account, the signed-in user, the
// version's title, its account, the signed-in user, the signed-in user, the program, its
// account.
inline constexpr wchar_t kMsgOtherAccountToRemove[] =
    L"%s runs as %s, but %s is signed in to Windows: %s would be removed for %s only, and %s "
    L"would keep it.\r"
    L"To remove it for %s, give that account administrator rights or sign in as an administrator, "
    L"then run %s again.\r"
    L"Click Yes to remove it for %s anyway, or No to end without changing anything.";
// A file of the add-in still there after the deletions; %s: its full path, the uninstaller.
inline constexpr wchar_t kMsgFileNotRemoved[] =
    L"%s\rcould not be removed. Microsoft Excel or another program may hold it open: close that "
    L"program, then start %s again.";

// Setup: add-in files in the distribution folder
inline constexpr wchar_t kSourceWorkbook[] = L"fr.xla";
inline constexpr wchar_t kSourceHelp[] = L"fr.chm";
inline constexpr wchar_t kWorkbookExt[] = L".xla";
inline constexpr wchar_t kHelpExt[] = L".chm";
inline constexpr wchar_t kDefaultFolderDrive[] = L"C:\\";
inline constexpr wchar_t kRegistrarCommand[] = L"Regsvr32.exe ";
// The registrar's silent switch, after kRegistrarCommand on the command line it is started with.
inline constexpr wchar_t kRegistrarSilent[] = L"/s ";
// The system registrar as started: this file of a system folder, named by its full path.
inline constexpr wchar_t kRegistrarProgram[] = L"regsvr32.exe";

// Setup: the system components, as looked for in the system folder, as shipped beside
// setup, and as installed
inline constexpr wchar_t kRegistrarPresent[] = L"REGSVR32.EXE";
inline constexpr wchar_t kRegistrarSource[] = L"REGSVR32.exe";
inline constexpr wchar_t kVb6esPresent[] = L"VB6es.dll";
inline constexpr wchar_t kVb6esFile[] = L"VB6ES.dll";
inline constexpr wchar_t kComdlgFile[] = L"comdlg32.ocx";
inline constexpr wchar_t kComdlgSource[] = L"3A.ocx";
inline constexpr wchar_t kFm20File[] = L"FM20.DLL";
inline constexpr wchar_t kFm20Source[] = L"FM20.dll";
inline constexpr wchar_t kMscomctlFile[] = L"mscomctl.ocx";
inline constexpr wchar_t kMscomctlSource[] = L"3B.ocx";
inline constexpr wchar_t kProgramExt[] = L".exe";
// Setup: Excel cannot be started for the version check
inline constexpr wchar_t kMsgExcelNotAvailable[] =
    L"Microsoft Excel could not be started, so Ferrolin 1.1 cannot be installed.\r"
    L"Ferrolin 1.1 works with Excel 2000 for Windows or later versions.\r";

// Setup: a 32-bit setup on 64-bit Windows whose Excel is 64-bit
inline constexpr wchar_t kMsgExcelIs64Bit[] =
    L"The Microsoft Excel on this computer is the 64-bit version, and this setup installs "
    L"Ferrolin 1.1 for 32-bit Excel only.\r"
    L"Please run the 64-bit setup of Ferrolin 1.1 instead (setup.exe from Ferrolin-1.1-x64.zip).";

// Setup: one setup at a time in a Windows logon; the windows of setup's forms
inline constexpr wchar_t kSetupMutex[] = L"Local\\Orvicta.Ferrolin 1.1.Setup";
inline constexpr wchar_t kFormClass[] = L"FerrolinForm";

// Setup: Excel's main window, and the user's Excel open before setup starts
inline constexpr wchar_t kExcelWindowClass[] = L"XLMAIN";
inline constexpr wchar_t kMsgCloseExcel[] =
    L"Microsoft Excel is open. Please close it before Ferrolin 1.1 is installed: Excel keeps "
    L"its list of add-ins while it runs and writes it back when it closes, so an Excel left "
    L"open would take Ferrolin 1.1 off the list again.\r"
    L"Close every Excel window, then click Retry. ";
inline constexpr wchar_t kMsgCloseExcelNothingChanged[] = L"Cancel ends the setup without changing anything.";
inline constexpr wchar_t kMsgCloseExcelListKept[] =
    L"Cancel ends the setup and leaves Excel's list of add-ins as it is.";

// Excel's own keys under HKEY_CURRENT_USER: its installed add-ins are the values OPEN, OPEN1,
// ... of kOfficeKey \ its version ("16.0") + kExcelOptionsSubkey, and the add-ins its
// Add-ins dialog lists unticked are values named by their full paths under
// kExcelAddinManagerSubkey; Excel writes both when it ends.
inline constexpr wchar_t kOfficeKey[] = L"Software\\Microsoft\\Office";
inline constexpr wchar_t kExcelOptionsSubkey[] = L"\\Excel\\Options";
inline constexpr wchar_t kExcelAddinManagerSubkey[] = L"\\Excel\\Add-in Manager";
inline constexpr wchar_t kExcelOpenValue[] = L"OPEN";
// Setup: Excel's list of add-ins not seen to hold the add-in once setup's Excel ended
inline constexpr wchar_t kMsgAddinNotListed[] =
    L"Ferrolin 1.1 was copied to this computer, but Microsoft Excel did not confirm that it is in its "
    L"list of add-ins (Excel stopped answering, did not close when asked, or did not keep the add-in).\r"
    L"To finish the installation, open Microsoft Excel, open its Add-ins dialog (File > Options > "
    L"Add-ins > Go...) and tick Ferrolin 1.1.";

// Setup runs as another account than the desktop's signed-in user (elevated with an
// administrator's password); %s: its account, the signed-in user, its account, the
// signed-in user, the signed-in user, its account.
inline constexpr wchar_t kMsgOtherAccount[] =
    L"Setup runs as %s, but %s is signed in to Windows: Ferrolin 1.1 would be installed for %s "
    L"only, and %s would not find it in Excel.\r"
    L"To install Ferrolin 1.1 for %s, give that account administrator rights or sign in as an "
    L"administrator, then run setup again.\r"
    L"Click Yes to install Ferrolin 1.1 for %s anyway, or No to end the setup.";

// Setup: a call into Excel that got no answer in time (the failure's description)
inline constexpr wchar_t kMsgExcelNotResponding[] = L"Microsoft Excel is not responding.";

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

// Setup: the maker's addresses (terms page links)
inline constexpr wchar_t kSupportMail[] = L"support@orvicta.example";
inline constexpr wchar_t kMakerWebAddress[] = L"https://www.orvicta.example/";

// Setup: captions of the wizard pages' controls
inline constexpr wchar_t kCaptionBack[] = L"<< Back";
inline constexpr wchar_t kCaptionNext[] = L"Next >>";
inline constexpr wchar_t kCaptionNextDestination[] = L"Next >>     ";
inline constexpr wchar_t kCaptionAbort[] = L"Abort";
inline constexpr wchar_t kCaptionEndButton[] = L"End";
inline constexpr wchar_t kCaptionBrowse[] = L"Browse....";
inline constexpr wchar_t kLabelStarting[] = L"Starting installation process.............";
inline constexpr wchar_t kLabelConditions[] = L"Conditions for Use - Huebrook 1.0";
inline constexpr wchar_t kLabelAgree[] = L"I agree with the above terms and conditions";
inline constexpr wchar_t kLabelWhere[] = L" Where do you like to install Ferrolin:";
inline constexpr wchar_t kLabelCopying[] = L"Copying file of Installation............";
inline constexpr wchar_t kLabelAddToExcel[] = L"Add to Microsoft Excel the Add-in ...";
inline constexpr wchar_t kLabelDeleteFiles[] = L"Delete files copy.......";
inline constexpr wchar_t kLabelFinished[] = L"Succesfully installation Ferrolin";
inline constexpr wchar_t kLabelPreparing[] = L"Preparing the installation of Ferrolin 1.1 ...";

// Setup: captions of the folder picker's controls
inline constexpr wchar_t kLabelDrive[] = L"Drive :";
inline constexpr wchar_t kCaptionPathFrame[] = L"Path";
inline constexpr wchar_t kCaptionNewFolderButton[] = L"New folder";
inline constexpr wchar_t kCaptionOk[] = L"Ok";
inline constexpr wchar_t kCaptionCancel[] = L"Cancel";

// Setup: the conditions of use shown on the terms page
inline constexpr wchar_t kConditionsOfUse[] =
    L"This copy of Ferrolin is licensed to you for your own use only, on the computers you work "
    L"with yourself. You may not copy, "
    L"distribute, lend, rent or sell the program, its files or any part of them, and you may "
    L"not pass screenshots, descriptions of its workings or any other related information on "
    L"to third parties without the prior consent of the maker. To ask for that consent, write "
    L"to support@orvicta.example.\r\n"
    L"\r\n"
    L"FERROLIN - DISCLAIMER\r\n"
    L"Ferrolin is provided \"as is\", without warranty of any kind, express or implied, "
    L"including but not limited to the warranties of merchantability, fitness for a "
    L"particular purpose and freedom from errors. In no event shall the maker be liable for "
    L"any loss or damage of any kind, direct or indirect, that arises from the use of the "
    L"functions of Ferrolin, from the results of their calculations, or from viruses or other "
    L"harmful code that may reach your computer together with it. You alone are responsible "
    L"for checking every result before you rely on it, and for keeping copies of your "
    L"workbooks and data. The maker may change, extend or withdraw any function of Ferrolin "
    L"at any time and without notice, and gives no undertaking to correct errors.\r\n"
    L"\r\n"
    L"Problems, suggestions and comments are always welcome. Please send them to "
    L"support@orvicta.example, and tell us which version of Ferrolin and of Microsoft Excel "
    L"you use and what you were doing when the problem appeared. Every message is read and "
    L"answered as soon as possible.\r\n"
    L"\r\n"
    L"Microsoft and Excel are registered trademarks of Microsoft Corporation in the United "
    L"States and other countries.\r\n"
    L"Ferrolin and Orvicta are trademarks of their owner; all other names are the property of "
    L"their respective owners.";

}  // namespace ferrolin
#endif  // RC_INVOKED
