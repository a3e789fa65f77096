// What the readers of other tools' files say about them, in English and in Chinese: the notes
// of a server left out or taken without its password, and why a file could not be read.
#pragma once

#include <string>

#include "text/bilingual.h"

namespace korvane::import {

enum class Msg {
  kImportCannotReadBecause,
  kImportTooLarge,
  kImportCannotRead,
  kImportCannotListFolder,
  kImportNoRdpFile,
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
  kControlCharacter,
  kUserTooLong,
  kPasswordTooLong,
  kBadPort,
  kRemarkShortened,
  kNotUtf8Line,
  kQuoteMisplaced,
  kQuoteNeverClosed,
  kNoHeaderLine,
  kHeaderMustName,
  kFieldCount,
  kCsvLine,
  kMoreBadLines,
  kStopped,
  kBrokenRdpText,
  kBrokenUtf16,

  kCount
};

// The table of every text, in the order of Msg.
extern const BilingualText<Msg> kMessageTable[];
extern const std::size_t kMessageTableSize;

template <typename... Arguments>
std::string Format(Msg id, const Arguments&... arguments) {
  return FillInLine(kMessageTable, id, arguments...);
}

}  // namespace korvane::import
