// Every resource and control id of the main program, one block per dialog or resource kind.
// Dialog templates exist three times: id (8 pt), id + 500 (10 pt) and id + 1000 (12 pt).
#pragma once

// ---- Dialog size offsets (GetDialogTemplateId) ----
#define DLG_OFFSET_10PT 500
#define DLG_OFFSET_12PT 1000

// ---- Icons ----
#define IDI_VELLORAN 107            // program icon: window class, about box, idle tray icon
#define IDI_CHOOSER_UNCHECKED 134   // column chooser state image 1 (column hidden)
#define IDI_CHOOSER_CHECKED 135     // column chooser state image 2 (column shown)
#define IDI_CONFIG_ENABLED 136      // job list row image 1: enabled configuration
#define IDI_CONFIG_DISABLED 137     // job list row image 0: disabled configuration
#define IDI_HEADER_IMAGE1 138       // job list header image list (8 x 8), first image
#define IDI_HEADER_IMAGE2 139       // job list header image list (8 x 8), second image
#define IDI_RUNNING 159             // tray icon while a backup job runs

// ---- Bitmaps: toolbar image strips (normal, shared mask, disabled) per button size ----
#define IDB_TOOLBAR16 430           // 16 px, btnsize 1 (below 96 dpi)
#define IDB_TOOLBAR16_MASK 431
#define IDB_TOOLBAR16_DISABLED 432
#define IDB_TOOLBAR20 433           // 20 px, btnsize 2 (96 to 119 dpi)
#define IDB_TOOLBAR20_MASK 434
#define IDB_TOOLBAR20_DISABLED 435
#define IDB_TOOLBAR24 436           // 24 px, btnsize 3 (120 to 143 dpi)
#define IDB_TOOLBAR24_MASK 437
#define IDB_TOOLBAR24_DISABLED 438
#define IDB_TOOLBAR32 439           // 32 px, btnsize 4 (144 dpi and above)
#define IDB_TOOLBAR32_MASK 440
#define IDB_TOOLBAR32_DISABLED 441

// ---- Menus and accelerators ----
#define IDR_MAINMENU 109            // menu bar: "&File", "&Configurations", "&View", "&Help"
#define IDR_ACCELERATORS 109        // accelerator table of the main window
#define IDR_LISTHEAD 141            // `listhead`: job list header right click, "&Customize..."
#define IDR_LISTVIEW 142            // `listview`: job list row right click
#define IDR_TASKTRAY 147            // `tasktray`: tray icon right click

// ---- Menu, toolbar and accelerator commands ----
// The status-bar help text (and toolbar tooltip) of each command is the string with the command's id.
#define IDM_NEW 32775               // "&New...\tCtrl + N"
#define IDM_EDIT 32776              // "&Edit...\tCtrl + E"
#define IDM_DELETE 32777            // "&Delete\tCtrl + D", Del
#define IDM_COPY 32779              // "&Copy\tCtrl + C"
#define IDM_RUN 32781               // "&Run Now\tCtrl + R" / "&Stop\tCtrl + R"
#define IDM_VIEWLOG 32782           // View "&Log...\tCtrl + L"
#define IDM_COLUMNS 32783           // View "List &Columns...", header "&Customize..."
#define IDM_EXIT 32784              // File "E&xit", tray "E&xit", Ctrl+Q
#define IDM_HIDE 32785              // File "&Hide To Tray", Ctrl+H
#define IDM_OPTIONS 32786           // File "&Options..."
#define IDM_ABOUT 32787             // Help "&About..."
#define IDM_HELP 32788              // Help "&Contents...", F1
#define IDM_UPDATES 32793           // Help / "&Velloran on the Web" / "&Check For Updates..."
#define IDM_HOMEPAGE 32795          // Help / "&Velloran on the Web" / "&Velloran Home..."
#define IDM_RESTORE 32806           // tray "Restore Window...", tray left click
#define IDM_COMBINE 32810           // Help / "&Utilities" / "&Combine Split ZIP..."
#define IDM_SHORTCUT 32815          // list menu "Cre&ate Desktop Shortcut"
#define IDM_LISTFONT 32816          // list menu "List &Font..."

// ---- Main window children, tray icon and timers ----
#define IDC_MAIN_REBAR 20050        // "ReBarWindow32" holding the toolbar band
#define IDC_MAIN_JOBLIST 20100      // job list, "SysListView32" report view
#define IDC_MAIN_STATUSBAR 20200    // "msctls_statusbar32", four parts
#define IDC_MAIN_TOOLBAR 20500      // "ToolbarWindow32"
#define TRAY_ICON_UID 100           // NOTIFYICONDATA uID of the notification-area icon
#define IDT_MAIN_TICK 1             // main window, 1000 ms: scheduler, run queue, sizes, update check
#define IDT_GENERAL_SIZE 3          // General page, 1000 ms: size line refresh
#define IDT_COMBINE_PROGRESS 4      // Combine Split ZIP dialog, 100 ms: progress

// ---- Toolbar button images (index into the image strips) ----
#define TBIMG_NEW 0
#define TBIMG_EDIT 1
#define TBIMG_DELETE 2
#define TBIMG_COPY 3
#define TBIMG_RUN 4
#define TBIMG_VIEWLOG 5
#define TBIMG_HIDE 6
#define TBIMG_STOP 7                // replaces TBIMG_RUN while the selected job runs

// ---- Dialog 148: configuration editor, General page ----
#define IDD_CFG_GENERAL 148             // "General"
#define IDC_GENERAL_ENABLED 1001        // "&Enabled"
#define IDC_GENERAL_SOURCES 1002        // source list box
#define IDC_GENERAL_ADD_FILES 1003      // "&Add File(s)..."
#define IDC_GENERAL_ADD_FOLDER 1004     // "Add &Folder..."
#define IDC_GENERAL_REMOVE 1005         // "&Remove"
#define IDC_GENERAL_FILTER_OPTIONS 1006 // "Filter &Options..."
#define IDC_GENERAL_BROWSE 1007         // "&Browse..." (destination)
#define IDC_GENERAL_DESTINATION 1008    // "Backup Destination:"
#define IDC_GENERAL_DESCRIPTION 1029    // "&Description:"
#define IDC_GENERAL_SIZE 1030           // "Size: calculating..."
#define IDC_GENERAL_FILE_COUNT 1031     // "# Files: calculating..."
#define IDC_GENERAL_DRAGDROP_TIP 1094   // "Tip: Use drag and drop to quickly add backup sources."

// ---- Dialog 149: filter options ----
#define IDD_FILTER_OPTIONS 149              // "Filter Options"
#define IDC_FILTER_REMOVE_EXTENSION 1005    // "&Remove" (extensions)
#define IDC_FILTER_REMOVE_EXCLUDED 1006     // "Re&move" (excluded items)
#define IDC_FILTER_INCLUDE 1032             // "I&nclude Files With These Extensions"
#define IDC_FILTER_HELP 1033                // "&Help"
#define IDC_FILTER_EXCLUDE 1034             // "E&xclude Files With These Extensions"
#define IDC_FILTER_EXTENSIONS 1035          // "&Filename Extensions:" list box
#define IDC_FILTER_ADD_EXTENSION 1036       // "&Add..."
#define IDC_FILTER_EDIT_EXTENSION 1037      // "&Edit..."
#define IDC_FILTER_SKIP_HIDDEN 1050         // "S&kip Hidden Files/Folders"
#define IDC_FILTER_SKIP_SYSTEM 1051         // "Skip &System Files/Folders"
#define IDC_FILTER_EXCLUDED 1076            // excluded items list box
#define IDC_FILTER_EXCLUDE_FILES 1077       // "Excl&ude File(s)..."
#define IDC_FILTER_EXCLUDE_FOLDER 1078      // "Ex&clude Folder..."
#define IDC_FILTER_DRAGDROP_TIP 1094        // "Tip: Use drag and drop to quickly add excluded items."

// ---- Dialog 151: split compressed ZIP ----
#define IDD_SPLIT_ZIP 151               // "Split Compressed ZIP"
#define IDC_SPLIT_SIZE 1000             // volume size
#define IDC_SPLIT_HELP 1033             // "&Help"
#define IDC_SPLIT_ENABLE 1054           // "&Split Large ZIP Files Into:"
#define IDC_SPLIT_UNIT 1055             // "Bytes", "KB", "MB", "GB"

// ---- Dialog 153: combine split ZIP files ----
#define IDD_COMBINE_SPLIT_ZIP 153       // "Combine Split ZIP Files"
#define IDC_COMBINE_START 1             // "Combine" (IDOK)
#define IDC_COMBINE_CANCEL 2            // "Cancel" / "Stopping..." (IDCANCEL)
#define IDC_COMBINE_FIRST_PART 1000     // "&First file of split ZIP:" (read-only)
#define IDC_COMBINE_HELP 1033           // "&Help"
#define IDC_COMBINE_BROWSE 1057         // "&Browse..."
#define IDC_COMBINE_PROGRESS 1058       // progress bar
#define IDC_COMBINE_STATUS 1059         // "Initializing", "%d%% Complete"

// ---- Dialog 154: remote backup options, FTP page ----
#define IDD_REMOTE_FTP 154                  // "FTP"
#define IDC_RMTFTP_SERVER 1000
#define IDC_RMTFTP_DIRECTORY 1001
#define IDC_RMTFTP_PORT_DEFAULT 1016        // "D&efault"
#define IDC_RMTFTP_ENABLE 1060              // "Upload Compressed Backup to &Remote Server"
#define IDC_RMTFTP_USERNAME 1061
#define IDC_RMTFTP_PASSWORD 1062
#define IDC_RMTFTP_SERVER_LABEL 1064        // "&FTP Server Address:"
#define IDC_RMTFTP_USERNAME_LABEL 1065      // "&Username:"
#define IDC_RMTFTP_PASSWORD_LABEL 1066      // "&Password:"
#define IDC_RMTFTP_DIRECTORY_LABEL 1067     // "&Directory on FTP Server to Store Backup:"
#define IDC_RMTFTP_TEST 1093                // "&Test FTP Settings"
#define IDC_RMTFTP_TEST_LABEL 1095          // "Test In Progress..."
#define IDC_RMTFTP_PROTOCOL 1104            // "Protocol / E&ncryption:" drop-down list
#define IDC_RMTFTP_VERIFY_CERT 1106         // "&Verify Certificate Authenticity"
#define IDC_RMTFTP_VERIFY_HOST 1107         // "Verify Certificate &Hostname"
#define IDC_RMTFTP_PORT 1205
#define IDC_RMTFTP_PORT_SPIN 1206
#define IDC_RMTFTP_PORT_GROUP 1207          // "FTPs Port:"
#define IDC_RMTFTP_PORT_SPECIFY 1208        // "Spe&cify:"

// ---- Dialog 155: compressed ZIP date filter ----
#define IDD_DATE_FILTER 155                 // "Compressed ZIP Date Filter"
#define IDC_DATEFILTER_HELP 1033            // "&Help"
#define IDC_DATEFILTER_ALWAYS_ALL 1070      // "Always Include &All Source Files"
#define IDC_DATEFILTER_CHANGED_ONLY 1071    // "&Only Include Files Modified Since Last Successful Backup"
#define IDC_DATEFILTER_EVERY 1072           // "&Every"
#define IDC_DATEFILTER_EVERY_COUNT 1073
#define IDC_DATEFILTER_EVERY_SPIN 1074
#define IDC_DATEFILTER_EVERY_LABEL 1075     // "Backups Include All Source Files"

// ---- Dialog 156: excluded item not in a backup source ----
#define IDD_EXCLUDED_OUTSIDE_SOURCE 156     // "Excluded Item Not In A Backup Source"
#define IDC_OUTSIDE_SOURCE_YES 1            // "&Yes" (IDOK)
#define IDC_OUTSIDE_SOURCE_NO 2             // "&No" (IDCANCEL)
#define IDC_OUTSIDE_SOURCE_PATH 1000        // read-only edit with the item
#define IDC_OUTSIDE_SOURCE_DONT_WARN 1079   // "Do not show this warning again"

// ---- Dialog 157: program options ----
#define IDD_OPTIONS 157                     // "Options"
#define IDC_OPTIONS_HELP 1033               // "&Help"
#define IDC_OPTIONS_VERBOSE_LOG 1081        // "&Verbose Logging"
#define IDC_OPTIONS_VERBOSE_ZIP_LOG 1082    // "Verbose &ZIP File Logging"
#define IDC_OPTIONS_JR_PROBLEMS_ONLY 1083   // "&Only Send E-Mail for Jobs with Warnings or Errors"
#define IDC_OPTIONS_NO_PLAIN_REMOTE 1084    // "&Never Allow Non-Encrypted Remote Backup"
#define IDC_OPTIONS_WARN_EXCLUSIONS 1085    // "&Warn When Adding Unnecessary Excluded Items"
#define IDC_OPTIONS_MANAGE_BURNING 1086     // "&Manage CD/DVD Burning"
#define IDC_OPTIONS_FTP_RETRY 1087          // "Resume Broken &FTP Connection" ... "Times"
#define IDC_OPTIONS_FTP_RETRY_SPIN 1088
#define IDC_OPTIONS_SEND_TIMEOUT 1089       // "SMTP Mail Server &Send Timeout:" ... "Seconds"
#define IDC_OPTIONS_SEND_TIMEOUT_SPIN 1090
#define IDC_OPTIONS_RECV_TIMEOUT 1091       // "SMTP Mail Server &Receive Timeout:" ... "Seconds"
#define IDC_OPTIONS_RECV_TIMEOUT_SPIN 1092
#define IDC_OPTIONS_BACKUP_LOCKED 1093      // "&Backup Locked/Open Files"
#define IDC_OPTIONS_SMTP_RETRY 1094         // "Retry Failed SMT&P E-Mail" ... "Times"
#define IDC_OPTIONS_SMTP_RETRY_SPIN 1095
#define IDC_OPTIONS_REMOVE_EXCLUDED 1096    // "Remove E&xcluded Files/Folders from Uncompressed Backup"
#define IDC_OPTIONS_SHOW_LOG 1097           // "Show &Log After Scheduled Job with Warnings or Errors"
#define IDC_OPTIONS_CONFIRM_EXIT 1098       // "&Confirm Before Exiting When Using Internal Scheduler"
#define IDC_OPTIONS_IN_STARTUP 1099         // "L&aunch Velloran When Windows Starts"
#define IDC_OPTIONS_JR_WHEN 1100            // "E-mail &Job Results:"
#define IDC_OPTIONS_JR_CONFIGURE 1101       // "Configur&e..." (opens dialog 428)
#define IDC_OPTIONS_BUTTON_SIZE 1104        // "&Toolbar Button Size:"
#define IDC_OPTIONS_VERSION_CHECK 1107      // "New Version Chec&k:"
#define IDC_OPTIONS_DIALOG_SIZE 1108        // "&Dialog Boxes Size:"

// ---- Dialog 161: confirm exit ----
#define IDD_CONFIRM_EXIT 161                // "Really Exit ?"
#define IDC_CONFIRM_EXIT_YES 1              // "&Yes" (IDOK)
#define IDC_CONFIRM_EXIT_NO 2               // "&No" (IDCANCEL)
#define IDC_CONFIRM_EXIT_DONT_ASK 1056      // "Do Not Ask Again"

// ---- Dialog 168: about box ----
#define IDD_ABOUT 168                   // "About Velloran"
#define IDC_ABOUT_WEBPAGE 1051          // button: the maker's web page
#define IDC_ABOUT_TITLE 1052            // painted product name (subclassed static)
#define IDC_ABOUT_VERSION 1053          // "Version %d.%d"
#define IDC_ABOUT_CONTACT 1055          // "&Contact..."
#define IDC_ABOUT_FRAME 1056            // sunken frame

// ---- Dialog 422: column chooser ----
#define IDD_COLUMNS 422                 // "Choose Columns to Display"
#define IDC_COLUMNS_HELP 1033           // "&Help"
#define IDC_COLUMNS_LIST 1187           // "SysListView32", check image = shown
#define IDC_COLUMNS_MOVE_UP 1193        // "Move &Up"
#define IDC_COLUMNS_MOVE_DOWN 1194      // "Move &Down"
#define IDC_COLUMNS_RESET 1195          // "&Reset"

// ---- Dialog 423: configuration editor, Schedule page ----
#define IDD_CFG_SCHEDULE 423                // "Schedule"
#define IDC_SCHEDULE_EVERY_DAYS 1000        // N of "Every N Days at"
#define IDC_SCHEDULE_EVERY 1009             // "&Every"
#define IDC_SCHEDULE_DAILY 1010             // "&Daily on"
#define IDC_SCHEDULE_MANUAL 1011            // "&Manually Start Backup"
#define IDC_SCHEDULE_EVERY_DAYS_SPIN 1012
#define IDC_SCHEDULE_SUNDAY 1013
#define IDC_SCHEDULE_DAILY_TIME 1014        // time picker for "Daily on"
#define IDC_SCHEDULE_EVERY_TIME 1015        // time picker for "Every"
#define IDC_SCHEDULE_MONDAY 1020
#define IDC_SCHEDULE_TUESDAY 1021
#define IDC_SCHEDULE_WEDNESDAY 1022
#define IDC_SCHEDULE_THURSDAY 1023
#define IDC_SCHEDULE_FRIDAY 1024
#define IDC_SCHEDULE_SATURDAY 1025
#define IDC_SCHEDULE_DAYS_AT_LABEL 1038     // "Days at"
#define IDC_SCHEDULE_SU_LABEL 1039          // "Su"
#define IDC_SCHEDULE_MO_LABEL 1040          // "M"
#define IDC_SCHEDULE_TU_LABEL 1041          // "T"
#define IDC_SCHEDULE_WE_LABEL 1042          // "W"
#define IDC_SCHEDULE_TH_LABEL 1043          // "Th"
#define IDC_SCHEDULE_FR_LABEL 1044          // "F"
#define IDC_SCHEDULE_SA_LABEL 1045          // "Sa"
#define IDC_SCHEDULE_AT_LABEL 1046          // "at"
#define IDC_SCHEDULE_PASSWORD 1062          // "&Password:"
#define IDC_SCHEDULE_CONFIRM_PASSWORD 1063  // "&Confirm password:"
#define IDC_SCHEDULE_ACCOUNT_LABEL 1065     // "&User Account:"
#define IDC_SCHEDULE_ACCOUNT 1089
#define IDC_SCHEDULE_SCHEDULER_GROUP 1090   // "Scheduler:"
#define IDC_SCHEDULE_PASSWORD_LABEL 1091
#define IDC_SCHEDULE_CONFIRM_LABEL 1092
#define IDC_SCHEDULE_INTERNAL 1096          // "Use Internal Scheduler"
#define IDC_SCHEDULE_WINDOWS_TASK 1097      // "Use Windows Task Scheduler:"

// ---- Dialog 424: configuration editor, Advanced page ----
#define IDD_CFG_ADVANCED 424                    // "Advanced"
#define IDC_ADVANCED_SAVE_REVISIONS 1015        // "&Save"
#define IDC_ADVANCED_SAVE_DELETED 1016          // "Save &Deleted Files"
#define IDC_ADVANCED_REVISIONS 1017             // number of revisions
#define IDC_ADVANCED_REVISIONS_SPIN 1018
#define IDC_ADVANCED_UNCOMPRESSED 1019          // "Backup to &Uncompressed Files and Folders"
#define IDC_ADVANCED_COMPRESSED 1020            // "Backup to Compressed &ZIP File:"
#define IDC_ADVANCED_ZIP_NAME 1021
#define IDC_ADVANCED_ENCRYPT 1022               // "&Encrypt (AES 256 bit)"
#define IDC_ADVANCED_PASSWORD 1023              // "Pass&word:"
#define IDC_ADVANCED_PASSWORD_AGAIN 1024        // "Re-E&nter:"
#define IDC_ADVANCED_PRIORITY 1025              // "Run Backup With &Priority:"
#define IDC_ADVANCED_RUN_BEFORE 1026            // "Run &Before Backup Starts:"
#define IDC_ADVANCED_PROGRAM_BEFORE 1027
#define IDC_ADVANCED_BROWSE_BEFORE 1028         // "B&rowse..."
#define IDC_ADVANCED_RUN_AFTER 1029             // "Run &After Backup Ends:"
#define IDC_ADVANCED_PROGRAM_AFTER 1030
#define IDC_ADVANCED_BROWSE_AFTER 1031          // "Br&owse..."
#define IDC_ADVANCED_REVISIONS_LABEL 1047       // "Revisions of Modified Files"
#define IDC_ADVANCED_PASSWORD_LABEL 1048
#define IDC_ADVANCED_PASSWORD_AGAIN_LABEL 1049
#define IDC_ADVANCED_REMOTE 1051                // "Re&mote Backup..."
#define IDC_ADVANCED_SPLITTING 1052             // "Spli&tting..." (dialog 151)
#define IDC_ADVANCED_TIP 1053                   // tip on revisions and deleted folders
#define IDC_ADVANCED_DATE_FILTER 1054           // "Date &Filter..." (dialog 155)

// ---- Dialog 425: filename extension ----
#define IDD_EXTENSION 425               // "Filename Extension"
#define IDC_EXTENSION_HELP 1033         // "&Help"
#define IDC_EXTENSION_TEXT 1037         // "&Filename Extension:"

// ---- Dialogs 426 and 428: the e-mail settings both share, with the same ids ----
#define IDC_MAIL_SERVER 1000                // "&Outgoing (SMTP) Mail Server:"
#define IDC_MAIL_TO 1001                    // recipients
#define IDC_MAIL_USE_MAPI 1014              // "Send Using &MAPI Client"
#define IDC_MAIL_USE_SMTP 1015              // "Send Using SMTP Mail &Server"
#define IDC_MAIL_PORT_DEFAULT 1016          // "&Default"
#define IDC_MAIL_USERNAME 1061              // "&Username:"
#define IDC_MAIL_MAPI_GROUP 1068            // "MAPI Options:"
#define IDC_MAIL_HOW_GROUP 1069             // "How To Send:"
#define IDC_MAIL_TEST 1093                  // "&Test E-Mail Settings"
#define IDC_MAIL_TEST_LABEL 1095            // "Test In Progress..."
#define IDC_MAIL_SECURE 1097                // "Ser&ver Requires a Secure Connection Using:"
#define IDC_MAIL_SECURE_KIND 1102           // "SSL", "TLS"
#define IDC_MAIL_PASSWORD 1124              // "&Password:"
#define IDC_MAIL_PORT 1205
#define IDC_MAIL_PORT_SPIN 1206
#define IDC_MAIL_PORT_GROUP 1207            // "Port:"
#define IDC_MAIL_PORT_SPECIFY 1208          // "Spe&cify:"
#define IDC_MAIL_MAPI_PLAIN_ADDRESS 1249    // "My MAPI Client is &Netscape or AOL"
#define IDC_MAIL_FROM 1250                  // "&From E-Mail Address:"
#define IDC_MAIL_AUTH 1252                  // "My Server Requires &Authentication"
#define IDC_MAIL_USERNAME_LABEL 1253        // "&Username:"
#define IDC_MAIL_PASSWORD_LABEL 1254        // "&Password:"
#define IDC_MAIL_SERVER_GROUP 1255          // "Mail Server Settings:"
#define IDC_MAIL_SERVER_LABEL 1256          // "&Outgoing (SMTP) Mail Server:"
#define IDC_MAIL_FROM_LABEL 1257            // "&From E-Mail Address:"

// ---- Dialog 426: remote backup options, E-Mail page ----
#define IDD_REMOTE_EMAIL 426                // "E-Mail"
#define IDC_RMTEMAIL_ENABLE 1063            // "&E-Mail Compressed Backup To:"

// ---- Dialog 427: illegal excluded item ----
#define IDD_ILLEGAL_EXCLUDED_ITEM 427       // "Illegal Excluded Item"
#define IDC_ILLEGAL_EXCLUDED_PATH 1000      // read-only edit with the item
#define IDC_ILLEGAL_EXCLUDED_DONT_WARN 1079 // "Do not show this warning again"

// ---- Dialog 428: e-mail backup results ----
#define IDD_JOBRESULT_EMAIL 428             // "E-Mail Backup Results"
#define IDC_JR_HELP 1033                    // "&Help"

// ---- Dialog 429: configuration editor, Notes page ----
#define IDD_CFG_NOTES 429               // "Notes"
#define IDC_NOTES_TEXT 1000             // multi-line, at most 4095 characters

// ---- String table: toolbar labels ----
#define IDS_TB_NEW 104                  // "New"
#define IDS_TB_EDIT 105                 // "Edit"
#define IDS_TB_DELETE 106               // "Delete"
#define IDS_TB_COPY 107                 // "Copy"
#define IDS_TB_RUN 108                  // "Run Now"
#define IDS_TB_VIEWLOG 110              // "View Log"
#define IDS_TB_HIDE 111                 // "Hide"

// ---- String table: help keywords (HH_KEYWORD_LOOKUP) ----
#define IDS_HELPKEY_LIST_COLUMNS 112    // "list view columns"
#define IDS_HELPKEY_CFG_GENERAL 164     // "configuration editor - general"
#define IDS_HELPKEY_FILTER_OPTIONS 169  // "filter options"
#define IDS_HELPKEY_FILE_EXTENSION 170  // "filename extension"
#define IDS_HELPKEY_CFG_SCHEDULE 174    // "configuration editor - schedule"
#define IDS_HELPKEY_CFG_ADVANCED 175    // "configuration editor - advanced"
#define IDS_HELPKEY_SPLIT_ZIP 195       // "splitting compressed zip"
#define IDS_HELPKEY_COMBINE_ZIP 200     // "combining split zip"
#define IDS_HELPKEY_REMOTE_FTP 201      // "ftp remote backup"
#define IDS_HELPKEY_REMOTE_EMAIL 202    // "email remote backup"
#define IDS_HELPKEY_ZIP_DATE_FILTER 203 // "date filtering zip"
#define IDS_HELPKEY_OPTIONS 204         // "program options"
#define IDS_HELPKEY_CONTACT 206         // "contact information"
#define IDS_HELPKEY_JOBRESULT_EMAIL 218 // "e-mail backup results configuration"
#define IDS_HELPKEY_CFG_NOTES 224       // "configuration editor - notes"

// ---- String table: job list column titles (IDS_COL_BASE + column id) ----
#define IDS_COL_BASE 114
#define IDS_COL_DESCRIPTION 114         // "Description"
#define IDS_COL_SIZE 115                // "Size"
#define IDS_COL_DESTINATION 116         // "Destination"
#define IDS_COL_LAST_RUN 117            // "Last Run"
#define IDS_COL_LAST_RESULT 118         // "Last Result"
#define IDS_COL_NEXT_RUN 119            // "Next Run"
#define IDS_COL_ENABLED 120             // "Enabled"
#define IDS_COL_SCHEDULE 121            // "Schedule"
#define IDS_COL_KEEP_REVISIONS 122      // "Keep Revisions"
#define IDS_COL_KEEP_DELETED 123        // "Keep Deleted"
#define IDS_COL_FILES_FOLDERS 124       // "Files/Folders"
#define IDS_COL_COMPRESSED 125          // "Compressed File"
#define IDS_COL_ENCRYPTED 126           // "Encrypted"
#define IDS_COL_REMOTE 127              // "Remote Backup"
#define IDS_COL_SPLIT 128               // "Split"
#define IDS_COL_ZIP_DATE_FILTER 129     // "ZIP Date Filter"
#define IDS_COL_PRIORITY 130            // "Priority"
#define IDS_COL_RUN_COUNT 131           // "Run Count"
#define IDS_COL_FILE_COUNT 132          // "File Count"
#define IDS_COL_DATE_CREATED 133        // "Date Created"
#define IDS_COL_DATE_MODIFIED 134       // "Date Modified"
#define IDS_COL_UNIQUE_ID 135           // "Unique ID"

// ---- String table: menu help of the popups (base + position in the menu) ----
// A command's own help text is the string with the command's id (IDM_NEW ... IDM_LISTFONT).
#define IDS_MENUHELP_MAIN_BASE 146      // menu bar popups
#define IDS_MENUHELP_FILE 146           // "Global options, hide or exit program"
#define IDS_MENUHELP_CONFIGURATIONS 147 // "Manage backup configurations"
#define IDS_MENUHELP_VIEW 148           // "View log or adjust displayed columns"
#define IDS_MENUHELP_HELP 149           // "Help operations"
#define IDS_MENUHELP_HELPMENU_BASE 152  // popups inside the Help menu
#define IDS_MENUHELP_WEB 154            // position 2: "World Wide Web pages for Velloran"
#define IDS_MENUHELP_UTILITIES 156      // position 4: "Miscellaneous Utilities"
#define IDS_HELP_STOP 176               // "Stop the selected backup configuration" (IDM_RUN while running)

// ---- String table: shell messages ----
#define IDS_NO_PROGRAM_FOLDER 113       // "Unable to find our directory"
#define IDS_NO_COLUMN_SELECTED 145      // "At least 1 column must be selected for display."
#define IDS_SHELL_BAD_ASSOCIATION 177   // "The file name association is incomplete or invalid."
#define IDS_SHELL_NO_ASSOCIATION 178    // "There is no application associated with the given file name extension."
#define IDS_SHELL_OUT_OF_MEMORY 179     // "There was not enough memory to complete the operation."
#define IDS_SHELL_OTHER_ERROR 180       // "Other ShellExecute Error"
#define IDS_URL_DOWNLOAD 215            // address of the download page
#define IDS_URL_HOMEPAGE 216            // address of the product's home page
#define IDS_URL_MAKER 217               // address of the maker's web page (about box)
#define IDS_COM_INIT_FAILED 230         // "Error Initializing COM"

// ---- String table: General page checks ----
#define IDS_NOTHING_TO_BACKUP 171       // "There is nothing selected for backup.\nPlease select at least one source file or folder."
#define IDS_NEED_DESCRIPTION 172        // "Please enter a description for this configuration"
#define IDS_NEED_DESTINATION 173        // "Please specify a destination for the backup"

// ---- String table: list words (base + value) ----
#define IDS_PRIORITY_BASE 165           // + JobPriority
#define IDS_PRIORITY_VERY_LOW 165       // "Very Low"
#define IDS_PRIORITY_LOW 166            // "Low"
#define IDS_PRIORITY_NORMAL 167         // "Normal"
#define IDS_PRIORITY_HIGH 168           // "High"
#define IDS_SPLIT_UNIT_BASE 196         // + SplitUnit
#define IDS_SPLIT_UNIT_BYTES 196        // "Bytes"
#define IDS_SPLIT_UNIT_KB 197           // "KB"
#define IDS_SPLIT_UNIT_MB 198           // "MB"
#define IDS_SPLIT_UNIT_GB 199           // "GB"
#define IDS_JR_WHEN_BASE 219            // + list index of "E-mail &Job Results:"
#define IDS_JR_WHEN_NEVER 219           // "Never"
#define IDS_JR_WHEN_MANUAL 220          // "Manually Started Jobs Only"
#define IDS_JR_WHEN_SCHEDULED 221       // "Scheduled Jobs Only"
#define IDS_JR_WHEN_ALL 222             // "All Jobs"
#define IDS_BTNSIZE_BASE 225            // + btnsize
#define IDS_BTNSIZE_AUTOMATIC 225       // "<Automatic>"
#define IDS_BTNSIZE_TINY 226            // "Tiny"
#define IDS_BTNSIZE_SMALL 227           // "Small"
#define IDS_BTNSIZE_MEDIUM 228          // "Medium"
#define IDS_BTNSIZE_LARGE 229           // "Large"

// ---- String table: configuration store and shared messages ----
#define IDS_STORE_CORRUPT 159           // "Configuration data file corrupt.  Would you like to overwrite it with a new (empty) data file?  ..."
#define IDS_STORE_UNKNOWN_VERSION 160   // "Data file has an unknown version number.  ..."
#define IDS_OUT_OF_MEMORY 161           // "Error: Unable to allocate memory"
#define IDS_STORE_WRITE_ERROR 162       // "Error writing to configuration data file"
#define IDS_STORE_OPEN_WRITE_ERROR 163  // "Error, unable to open configuration data file for writing"

// ---- String table: date variable names, [[NAME]] in paths (IDS_DATEVAR_BASE + kind) ----
#define IDS_DATEVAR_BASE 181
#define IDS_DATEVAR_HOUR 181            // "HOUR"
#define IDS_DATEVAR_DAY_WEEK 182        // "DAY_WEEK"
#define IDS_DATEVAR_DAY_MONTH 183       // "DAY_MONTH"
#define IDS_DATEVAR_DAY_YEAR 184        // "DAY_YEAR"
#define IDS_DATEVAR_WEEK_MONTH 185      // "WEEK_MONTH"
#define IDS_DATEVAR_WEEK_YEAR 186       // "WEEK_YEAR"
#define IDS_DATEVAR_MONTH 187           // "MONTH"
#define IDS_DATEVAR_YEAR 188            // "YEAR"
#define IDS_DATEVAR_DATE 189            // "DATE"
#define IDS_DATEVAR_TIME 190            // "TIME"
#define IDS_DATEVAR_DATETIME 191        // "DATETIME"
#define IDS_DATEVAR_UNIQUE 192          // "UNIQUE"

// ---- Version information ----
#define VELLORAN_VERSION_MAJOR 1
#define VELLORAN_VERSION_MINOR 0
#define VELLORAN_VERSION_BUILD 0
#define VELLORAN_VERSION_STRING "1.0.0"

// ---- Private window messages (C++ only) ----
#ifndef RC_INVOKED
// Main window.
#define WM_TRAYICON (WM_USER + 1)       // 1025: tray icon callback, lParam = mouse message
#define WM_JOBFINISHED (WM_USER + 2)    // 1026: posted by the job thread, wParam = configuration id
#define WM_COMMANDLINE (WM_USER + 5)    // 1029: wParam 0 own line / 1 handed over, lParam = text
#define WM_COLUMNSDRAGGED (WM_USER + 9) // 1033: header drag ended, merge the column order
// Dialogs and property pages (each posts these to itself; they never reach the main window).
#define WM_REFRESHSTATES (WM_USER + 1)  // recompute which controls are enabled
#define WM_ADDITEM (WM_USER + 2)        // General page and filter dialog: lParam = path to add
#define WM_REFRESHSIZE (WM_USER + 3)    // General page: refresh the size and file-count lines
#define WM_FITLISTWIDTH (WM_USER + 4)   // General page and filter dialog: list horizontal extent
#endif

// ---- Strings of the configuration core ----
#define IDS_STORE_CORRUPT 159
#define IDS_STORE_UNKNOWN_VERSION 160
#define IDS_OUT_OF_MEMORY 161
#define IDS_STORE_WRITE_ERROR 162
#define IDS_STORE_OPEN_WRITE_ERROR 163
// Date variable names, in the order they are expanded (ids 181 to 192).
#define IDS_DATEVAR_HOUR 181
#define IDS_DATEVAR_DAY_WEEK 182
#define IDS_DATEVAR_DAY_MONTH 183
#define IDS_DATEVAR_DAY_YEAR 184
#define IDS_DATEVAR_WEEK_MONTH 185
#define IDS_DATEVAR_WEEK_YEAR 186
#define IDS_DATEVAR_MONTH 187
#define IDS_DATEVAR_YEAR 188
#define IDS_DATEVAR_DATE 189
#define IDS_DATEVAR_TIME 190
#define IDS_DATEVAR_DATETIME 191
#define IDS_DATEVAR_UNIQUE 192
