// Every text korvane-data shows, in English and in Chinese. A message is named by its id; the
// language is chosen once, when the tool starts, from the user's settings.
#pragma once

#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include "store/store_error.h"
#include "store/team.h"

namespace korvane::tool {

enum class Language { kEnglish, kChinese };

// The language every message comes out in; English until it is set.
Language CurrentLanguage();
void SetLanguage(Language language);

// The language the POSIX locale variables ask for: the first of LC_ALL, LC_MESSAGES and LANG
// that is set and not empty decides, and a zh locale (zh, zh_CN.UTF-8, zh_TW, ...) means
// Chinese. Null stands for an unset variable.
Language LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang);

enum class Msg {
  // Overview and command line
  kUsageOverview,
  kSigningOverviewLine,
  kOverviewEnd,
  kUsagePrefix,
  kMoreHelp,
  kNoCommand,
  kNoOption,
  kTooFewArguments,
  kTooManyArguments,
  // The commands: summary and help
  kCreateSummary, kCreateHelp,
  kAddServerSummary, kAddServerHelp,
  kListSummary, kListHelp,
  kCheckSummary, kCheckHelp,
  kSetLoginPasswordSummary, kSetLoginPasswordHelp,
  kExportSummary, kExportHelp,
  kImportSummary, kImportHelp,
  kProtectSummary, kProtectHelp,
  kUnprotectSummary, kUnprotectHelp,
  // add-server
  kCannotSeal,
  kCannotAddServer,
  // Shared
  kNoSuchFile,
  kNotAFile,
  kCannotOpen,
  kNotADataFile,
  kNotWritable,
  kServerLabel,
  kServerLabelWithRemark,
  kOneServer,
  kServers,
  kNothingDone,
  kNothingChanged,
  kNothingImported,
  // Passwords
  kLoginPasswordPrompt,
  kCurrentLoginPasswordPrompt,
  kNewLoginPasswordPrompt,
  kSameAgainPrompt,
  kNoPasswordTyped,
  kNoPasswordOnInput,
  kPasswordsDiffer,
  kEmptyLoginPassword,
  kPasswordNotUtf8,
  kCannotReadLogin,
  kNoLoginRow,
  kCannotStorePassword,
  kLoginPasswordChanged,
  kProtectionRowDamaged,
  kWrongLoginPassword,
  // protect, unprotect
  kRebuildFailed,
  kProtectedAlreadyRebuilt,
  kNotProtectedNothingChanged,
  kProtectedAlreadyNothingChanged,
  kDamagedProtectionNothingChanged,
  kProtectOnlyRebuildFailed,
  kConversionFailed,
  kProtectedDone,
  kUnprotectedDone,

  kCannotRead,
  kWhatFormatMarker,
  kWhatDatabasePassword,
  kWhatTableLogin,
  kWhatTableServer,
  kWhatFileTables,
  kWhatTheFile,
  kNoMetadataTable,
  kNoFormatMarker,
  kWrongFormatMarker,
  kNoDatabasePassword,
  kWrongDatabasePassword,
  kNoTable,
  kNoField,
  kNoLoginRowNobody,
  kManyLoginRows,
  kEmptyLoginPasswordInFile,
  kProtectionIsView,
  kProtectionNoRow,
  kLooksSealedInPlainFile,
  kNotSealedInProtectedFile,
  kNoLoginPasswordGiven,
  kLoginPasswordMismatch,
  kSealedDoesNotOpen,
  kPathSealedDoesNotOpen,
  kShortFile,
  kDamaged,
  kCannotReadServers,
  kPathProblem,
  kCheckOk,
  kCheckOkProtected,
  kAlreadyExists,
  kScratchInTheWay,
  kCannotWriteFolder,
  kCannotWrite,
  kCannotReadFile,
  kNoHeaderLine,
  kHeaderMustName,
  kFieldCount,
  kNotUtf8Line,
  kQuoteMisplaced,
  kQuoteNeverClosed,
  kNothingExported,
  kExported,
  kBadLine,
  kMoreBadLines,
  kOpeningPasswords,
  kNothingImportedFrom,
  kSkipped,
  kAlreadyThere,
  kSkippedCount,
  kWithoutPassword,
  kCountsOpen,
  kCountsSeparator,
  kCountsClose,
  kWouldAdd,
  kWouldImport,
  kCannotWriteNothingImported,
  kCannotAddServers,
  kImported,
  kBesideCount,
  kImportedServerLabel,
  kWouldAddBeside,
  kAddedBeside,
  kMoreNotes,

  // team (team_messages.inc)
  kTeamInitSummary, kTeamInitHelp,
  kTeamJoinSummary, kTeamJoinHelp,
  kTeamPushSummary, kTeamPushHelp,
  kTeamLeaveSummary, kTeamLeaveHelp,
  kTeamRekeySummary, kTeamRekeyHelp,
  kTeamLogSummary, kTeamLogHelp, kOptionNeedsValue, kLogHeader,
  kTeamNeedsCommand,
  kDatabasePasswordPrompt,
  kTeamPassphrasePrompt,
  kNewTeamPassphrasePrompt,
  kEmptyPassphrase,
  kNothingDoneBecause,
  kPathNothingDone,
  kTeamProblem,
  kTeamExists,
  kTeamMade,
  kJoinNeedsProtection,
  kConnectionHoldsPassword,
  kJoined,
  kNothingPushed,
  kCannotPush,
  kPushed,
  kLeft,
  kRekeyed,
  kRekeyedNotKept,
  kCheckOkMember,

  // Importers
  kImportCannotReadBecause,
  kImportTooLarge,
  kImportCannotRead,
  kImportCannotListFolder,
  kImportNoRdpFile,
  kImportNotText,
  kImportBadXml,
  kMasterPasswordDoesNotOpen,
  kMasterPasswordCannotAsk,
  kMasterPasswordPrompt,
  kMasterPasswordNotGiven,
  kMasterPasswordWrong,
  kCipherNotRead,
  kTooManyRounds,
  kNodeOfOtherType,
  kOtherProtocol,
  kNoHostName,
  kContentDoesNotOpen,
  kContentError,
  kDamagedPassword,
  kContentNotConnections,
  kRdcmanPasswordForOtherUser,
  kRdcmanNoFileElement,
  kRdpNoAddress,
  kRdpPasswordForOtherUser,
  kXmlTooDeep,
  kXmlTooManyElements,
  kXmlDoctype,
  kXmlTooLarge,
  kXmlOutOfMemory,
  kXmlNoElement,
  kXmlLine,
  kHostTooLong,
  kUserTooLong,
  kPasswordTooLong,
  kBadPort,
  kRemarkShortened,

  // signing-certificate (Windows)
  kSigningUsage,
  kSigningOverview,
  kSigningListHelp,
  kSigningSetHelp,
  kSigningOffHelp,
  kNotAThumbprint,
  kNoSigningCertificate,
  kCannotWriteSetting,
  kCannotRemoveSetting,
  kSigningNeedsCommand,
  kNoSigningCommand,
  kWrongSigningArguments,

  kCount
};

// A line of a table of texts: what names it, then its words in each language.
template <typename Id>
struct BilingualText {
  Id id;
  const char* english;
  const char* chinese;
};
using MessageText = BilingualText<Msg>;

// The table of every message, in the order of Msg.
extern const MessageText kMessageTable[];
extern const std::size_t kMessageTableSize;

// The message in the current language, with {0}, {1}, ... replaced by the arguments.
std::string FormatText(Msg id, std::initializer_list<std::string_view> arguments);
// The same for a text of another table.
std::string FillIn(std::string_view pattern, std::initializer_list<std::string_view> arguments);

// The data file's reasons, in both languages (store_reasons.cpp), in the order of StoreReason
// from the first after kNone. {0} stands for the path, {1} the server's id, {2} the detail.
using StoreReasonText = BilingualText<StoreReason>;
extern const StoreReasonText kStoreReasonTable[];
extern const std::size_t kStoreReasonTableSize;

// Why the data file's code refused, in the current language.
std::string Say(const StoreError& error);

// The team store's reasons (team_reasons.cpp), in the order of TeamReason from the first after
// kNone. {0} stands for the database server, {1} the row's id, {2} the detail.
using TeamReasonText = BilingualText<TeamReason>;
extern const TeamReasonText kTeamReasonTable[];
extern const std::size_t kTeamReasonTableSize;

// Why the team store refused, in the current language; `server` is the database server that
// TeamStore::ServerName() names.
std::string Say(const TeamError& error, const std::string& server);

inline std::string_view ArgumentText(std::string_view text) { return text; }
inline std::string ArgumentText(std::integral auto number) { return std::to_string(number); }

template <typename... Arguments>
std::string Format(Msg id, const Arguments&... arguments) {
  // The numbers become texts here, and those texts live until FormatText returns.
  return [&](const auto&... texts) { return FormatText(id, {std::string_view(texts)...}); }(
      ArgumentText(arguments)...);
}

}  // namespace korvane::tool
