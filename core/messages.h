// Every text the launcher can show, in one place. Texts that end without a full
// stop are shown with the Windows error suffix, which supplies it.
#pragma once

#include "core/text.h"

namespace lomar::msg {

// Starting up.
inline constexpr const Unit* cannotReadArguments = LT("Cannot read launch arguments.");
inline constexpr const Unit* cannotLocateExecutable = LT("Cannot locate the portable executable.");
inline constexpr const Unit* cannotInitVerification = LT("Windows could not initialize package verification.");
inline constexpr const Unit* cannotVerifyFile = LT("Windows could not verify a portable file.");

// The folder lock.
inline constexpr const Unit* cannotLockFolder = LT("Cannot lock this portable game folder");
inline constexpr const Unit* alreadyRunning = LT("LOMAR is already running or being prepared from this folder.");

// The embedded package.
inline constexpr const Unit* noPayload = LT("This launcher has no game payload. Use the packaged portable executable.");
inline constexpr const Unit* invalidPackageSize = LT("Invalid portable package size.");
inline constexpr const Unit* cannotReadPackage = LT("Windows could not read the portable package.");
inline constexpr const Unit* unsupportedFormat = LT("Unsupported portable package format.");
inline constexpr const Unit* invalidFileCount = LT("Invalid portable package file count.");
inline constexpr const Unit* truncatedPackage = LT("The portable package is truncated. Download it again.");
inline constexpr const Unit* invalidEntrySize = LT("Invalid portable package entry size.");
inline constexpr const Unit* invalidFilename = LT("The portable package contains an invalid filename.");
inline constexpr const Unit* duplicateFilename = LT("Duplicate portable filename.");
inline constexpr const Unit* incompletePackage = LT("Incomplete portable package.");
inline constexpr const Unit* invalidPath = LT("Invalid portable file path.");
inline constexpr const Unit* unsafePath = LT("Unsafe portable file path.");
inline constexpr const Unit* reservedFilename = LT("Reserved portable filename.");

// Preparing the runtime folder.
inline constexpr const Unit* cannotOpenDecompressor = LT("Cannot open Windows decompressor");
inline constexpr const Unit* cannotUnpack = LT("Cannot unpack the portable game. Download it again if this persists");
inline constexpr const Unit* invalidEmptyFile = LT("Invalid empty portable file.");
inline constexpr const Unit* failedVerification = LT("A portable file failed verification. Download the executable again.");
inline constexpr const Unit* cannotRemoveInterrupted = LT("Cannot remove an interrupted portable file");
inline constexpr const Unit* cannotWriteBeside = LT("Cannot write beside the portable executable. Move it to a writable folder");
inline constexpr const Unit* cannotWriteRuntime = LT("Cannot write the portable runtime");
inline constexpr const Unit* cannotUpdateRuntime = LT("Cannot update the portable runtime. Close the game and retry");
inline constexpr const Unit* cannotShowProgress = LT("Cannot show portable preparation progress");
inline constexpr const Unit* cancelled = LT("Portable preparation was cancelled.");
inline constexpr const Unit* redirectedPath = LT("The portable runtime contains a redirected path. Move the game to a regular writable folder.");

// Starting the game.
inline constexpr const Unit* cannotReadEnvironment = LT("Cannot read the process environment");
inline constexpr const Unit* cannotLaunch = LT("Cannot launch the portable game");
inline constexpr const Unit* cannotWait = LT("Cannot wait for the portable game");
inline constexpr const Unit* cannotReadExitStatus = LT("Cannot read the game exit status");

// Any standard-library exception that reaches the failure boundary.
inline constexpr const Unit* standardException = LT(
    "Cannot prepare the portable game. Check available disk space and move the executable to a writable folder.");

}  // namespace lomar::msg
