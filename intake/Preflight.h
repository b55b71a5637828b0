// Pricing of the pending files in whole minutes against the account's balance, and the two
// sheets that follow from it: the refusal when the balance is too small, else the confirmation
// that states the total and what remains. Pure functions; the pending list shows the sheets.
#pragma once

#include "platform/ui/Alert.h"

#include <cstdint>
#include <memory>
#include <vector>

class QVFilePending;

// Minutes charged for a file of `durationMs`: whole seconds (rounded down), then minutes
// (rounded up); each quotient is taken in double precision, narrowed to single precision and
// rounded there. A file under one second costs nothing.
std::int64_t minutesForDuration(std::int64_t durationMs);
std::int64_t totalMinutes(const std::vector<std::shared_ptr<QVFilePending>>& files);

// The sheet for `fileCount` files of `total` minutes against `balance`: the refusal (a critical
// alert with OK alone) when the balance would go below zero, else the confirmation with
// "Transcribe" first, whose remaining time reads "unlimited" for an account marked `unlimited`.
// `libraryDrop` adds the note about sending clips back to the editor.
qv::Alert preflightAlert(std::size_t fileCount, std::int64_t total, std::int64_t balance, bool unlimited,
                         bool libraryDrop);
bool preflightRefuses(std::int64_t total, std::int64_t balance);
