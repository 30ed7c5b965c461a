#pragma once

#include "shared/Expected.h"

#include <cstddef>
#include <optional>
#include <string>

namespace torvane::cli {

/// Every file torvanectl reads (profiles, certificates, keys, passwords,
/// export files) is small; anything larger is refused before it is read.
inline constexpr std::size_t kMaxInputFileSize = 1024 * 1024;

/// The whole file, or a sentence saying why it cannot be read.
Expected<std::string, std::string> readInputFile(const std::string& path);

/// A password, pre-shared key or passphrase file: its first line, without the line
/// ending. An empty result is an error.
Expected<std::string, std::string> readSecretFile(const std::string& path);

bool stdinIsTerminal();

/// Prints `prompt` on standard error and reads one line from standard input
/// with echo off. Nothing on end of input or interruption; the terminal's
/// settings are restored in every case.
std::optional<std::string> readHiddenLine(const std::string& prompt);
/// The same with echo on when not `hidden`, for an answer such as "y".
std::optional<std::string> readLine(const std::string& prompt, bool hidden = false);

} // namespace torvane::cli
