// The main module's message numbers, named by role. lang/MESSAGES.md lists the same numbers with
// the same names and says where each text is shown; tests/lang/message_numbers_test.cpp keeps the
// two in step. A number is used through its name only, so that moving a text is one change here.
#pragma once

namespace qb::main::msg {

// Buttons.
inline constexpr int kOk = 0;
inline constexpr int kCancel = 1;
inline constexpr int kTokenButton = 2;
inline constexpr int kDeleteButton = 3;
inline constexpr int kYes = 4;
inline constexpr int kNo = 5;
inline constexpr int kSkip = 6;
inline constexpr int kRetry = 7;
inline constexpr int kWarning = 8;
inline constexpr int kOverwriteButton = 9;
inline constexpr int kAppendButton = 10;

// Box titles and texts.
inline constexpr int kRangeError = 11;
inline constexpr int kCompactedTitle = 12;
inline constexpr int kErrorTitle = 13;
inline constexpr int kOverwriteTitle = 14;
inline constexpr int kDeleteTitle = 15;

// Panel columns and key bars.
inline constexpr int kColumnName = 16;
inline constexpr int kColumnDescription = 17;
inline constexpr int kKeyF6 = 18;
inline constexpr int kKeyFolderAltF3 = 19;
inline constexpr int kKeyFolderAltF6 = 20;
inline constexpr int kKeyShiftF3 = 21;
inline constexpr int kKeyFolderShiftF4 = 22;
inline constexpr int kKeyFolderShiftF7 = 23;
inline constexpr int kKeyRecordAltF3 = 24;
inline constexpr int kKeyRecordAltF4 = 25;
inline constexpr int kKeyRecordAltF5 = 26;
inline constexpr int kKeyRecordShiftF4 = 27;

// The configuration dialog.
inline constexpr int kConfigTitle = 28;
inline constexpr int kConfigBookFile = 29;
inline constexpr int kConfigDescription = 30;
inline constexpr int kConfigPreload = 31;
inline constexpr int kConfigCtrlIns = 32;
inline constexpr int kConfigDisksMenu = 33;
inline constexpr int kConfigDisksMenuKey = 34;
inline constexpr int kConfigPluginsMenu = 35;
inline constexpr int kConfigEditorLines = 36;
inline constexpr int kConfigUserName = 37;

// Steps of the storage error box and other errors.
inline constexpr int kErrorOpenBook = 38;
inline constexpr int kErrorOpenFolder = 39;
inline constexpr int kErrorOpenRecord = 40;
inline constexpr int kErrorNoSuchElement = 41;
inline constexpr int kErrorCreateRecord = 42;
inline constexpr int kErrorCreateFolder = 43;
inline constexpr int kErrorDelete = 44;
inline constexpr int kErrorCreateTarget = 45;
inline constexpr int kErrorCompactTemporary = 46;
inline constexpr int kErrorCompactCopy = 47;
inline constexpr int kErrorCompactRename = 48;
inline constexpr int kErrorRename = 49;

// Dialogs, boxes and menus.
inline constexpr int kNewFolderTitle = 50;
inline constexpr int kNewFolderLabel = 51;
inline constexpr int kDeleteQuestion = 52;
inline constexpr int kCopyTitle = 53;
inline constexpr int kMoveTitle = 54;
inline constexpr int kExportTitle = 55;
inline constexpr int kAddFieldTitle = 56;
inline constexpr int kErrorSingleField = 57;
inline constexpr int kNewRecordTitle = 58;
inline constexpr int kNewRecordLabel = 59;
inline constexpr int kRenameTitle = 60;
inline constexpr int kRenameLabel = 61;
inline constexpr int kOverwriteQuestion = 62;
inline constexpr int kDescriptionTitle = 63;
inline constexpr int kCompactedText = 64;
inline constexpr int kErrorFolderOntoRecord = 65;
inline constexpr int kSendFileTitle = 66;
inline constexpr int kErrorSendFile = 67;
inline constexpr int kErrorNotExchangeFile = 68;
inline constexpr int kSetPasswordTitle = 69;
inline constexpr int kPasswordLabel = 70;
inline constexpr int kRepeatPasswordLabel = 71;
inline constexpr int kErrorPasswordsDiffer = 72;
inline constexpr int kAskPasswordTitle = 73;
inline constexpr int kRootFolderName = 74;
inline constexpr int kErrorWrongPassword = 75;
inline constexpr int kRemovePasswordQuestion = 76;
inline constexpr int kErrorStorePassword = 77;
inline constexpr int kScanAllTypes = 78;
inline constexpr int kScanTitle = 79;
inline constexpr int kErrorCommit = 80;
inline constexpr int kErrorNameTooLong = 81;
inline constexpr int kErrorNameTaken = 82;
inline constexpr int kErrorNoScanner = 83;
inline constexpr int kDeleteRecordsInside = 84;
inline constexpr int kEditorKeys = 85;
inline constexpr int kConfigFolderMode = 86;
inline constexpr int kConfigRecordMode = 87;

inline constexpr int kErrorFieldChanged = 95;
inline constexpr int kBookMissing = 96;
inline constexpr int kOpenDefaultBook = 97;
inline constexpr int kAlwaysDefaultBook = 98;
inline constexpr int kErrorTooManyLines = 99;
// The progress of long work: `%ld` elements copied by a compaction, records written by a text
// export.
inline constexpr int kCompactingProgress = 100;
inline constexpr int kExportingProgress = 101;

// vCard import and export.
inline constexpr int kVCardExportTitle = 102;
inline constexpr int kKeyFolderShiftF5 = 103;
inline constexpr int kVCardImportTitle = 104;
inline constexpr int kVCardImported = 105;
inline constexpr int kVCardSkipped = 106;
inline constexpr int kVCardNotKept = 107;
inline constexpr int kVCardQueryFound = 108;
inline constexpr int kErrorNotVCard = 109;
inline constexpr int kErrorReadFile = 110;

// The book opened for reading only, and a damaged book.
inline constexpr int kReadOnlyBook = 88;
inline constexpr int kErrorReadOnlyChange = 89;
inline constexpr int kErrorDamagedBook = 90;

}  // namespace qb::main::msg
