// Every text korvane-data shows, in English and in Chinese. A message is named by its id; the
// language is chosen once, when the tool starts, from the user's settings.
#pragma once

#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include "store/store_error.h"
#include "text/bilingual.h"
#include "store/team.h"

namespace korvane::tool {

using korvane::CurrentLanguage;
using korvane::Language;
using korvane::LanguageFromLocale;
using korvane::SetLanguage;

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
  kInUse,
  kRolledBack,
  kCannotRollBack,
  kJournalNotItsOwn,
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
  kNothingExported,
  kExported,
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
  kPasswordsDoNotOpen,
  kPasswordDoesNotOpenLine,
  // team check, set, history, restore, upgrade (team_history_commands.cpp)
  kTeamCheckSummary, kTeamCheckHelp,
  kTeamSetSummary, kTeamSetHelp,
  kTeamHistorySummary, kTeamHistoryHelp,
  kTeamRestoreSummary, kTeamRestoreHelp,
  kTeamUpgradeSummary, kTeamUpgradeHelp,
  kTeamLine,
  kTeamReached,
  kSettingsLine,
  kOfflineAllowed,
  kOfflineNotAllowed,
  kOnStandby,
  kNoStandby,
  kStandbyNotWaited,
  kNeedsUpgrade,
  kNoSuchSetting,
  kBadSettingValue,
  kHistoryHeader,
  kWhatChanged,
  kWhatDeleted,
  kPasswordOpens,
  kPasswordShut,
  kBeforeAlone,
  kReaderMayNot,
  kNoHistoryOf,
  kNoSuchChange,
  kRestoredInPlace,
  kRestoredAsNew,
  kAlreadyRestored,
  kRestoredBefore,
  kBeforeReach,
  kUnknownBefore,
  kUpgraded,
  kUpToDate,

  // Importers

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

using korvane::BilingualText;
using MessageText = BilingualText<Msg>;

// The table of every message, in the order of Msg.
extern const MessageText kMessageTable[];
extern const std::size_t kMessageTableSize;

// The message in the current language, with {0}, {1}, ... replaced by the arguments.
std::string FormatText(Msg id, std::initializer_list<std::string_view> arguments);
using korvane::FillIn;

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

using korvane::ArgumentText;

template <typename... Arguments>
std::string Format(Msg id, const Arguments&... arguments) {
  // The numbers become texts here, and those texts live until FormatText returns.
  return [&](const auto&... texts) { return FormatText(id, {std::string_view(texts)...}); }(
      ArgumentText(arguments)...);
}

}  // namespace korvane::tool
