// What a person does next after a failure: one plain sentence for each way a port's work can fail,
// chosen from the codes the failure keeps (its verdict, the step and its outcome, the open failure's
// reason) and never from its message. Every front end shows the same table's sentence after the reason.
#pragma once

#include "Bluetooth.h"
#include "Job.h"
#include "OpenFailure.h"

#include <array>
#include <string>

namespace provisioning {

// Every failure with a sentence of its own.
enum class HintKey {
    None, // no failure, or one with nothing to do (a module left alone)
    // The port did not open.
    Missing,
    Permission,
    NotSerialLine,
    HeldByProgram, // the holder's program and PID are known
    HeldByPid,     // only its PID
    HeldByOther,   // neither
    StaleExclusiveFlag,
    StaleLock,
    NoLock,
    ResourceLimit,
    BluetoothNotRunning,
    BluetoothNotAnswering,
    NoAdapter,
    NotPaired,
    NoSerialProfile,
    ConnectionRefused,
    ConnectionTimedOut,
    OpenStopped,
    OpenOther,
    // The port opened (or got no thread), and the module's work failed.
    NoThreadOrMemory,
    LineStuck,
    LinkLost,
    Silent,
    RefusedName,
    RefusedPin,
    RefusedFlow,
    RefusedAuth,
    Unconfirmed,
    NameDiffers,
    NameDoesNotFit, // the name with the ledger's number is too long for the module
    Ledger,
    Interrupted,
    // A pairing did not end bonded.
    PairWrongPin,
    PairRefused,
    PairNoAnswer,
    PairUnknownDevice,
    // Programmed with a new PIN that the module did not pair with afterwards.
    PinNotProved,
};
inline constexpr size_t kHintKeys = static_cast<size_t>(HintKey::PinNotProved) + 1;

// One language's sentences, in HintKey's order. A sentence may name what the failure knows:
// {device}, {program}, {pid}, {path} (a lock file) and {address} (a Bluetooth module's).
using HintWords = std::array<const char*, kHintKeys>;
const HintWords& EnglishHints();

HintKey HintKeyOf(const PortResult& port);
HintKey HintKeyOf(const serial_result::OpenFailure& failure);
HintKey HintKeyOf(const bluetooth::PairOutcome& outcome);

// The sentence for the port's failure, empty when it has none (it ended well, or was skipped).
std::string HintFor(const PortResult& port, const HintWords& words = EnglishHints());
// For a failure outside a port's work (a scan); address is the module's, when one is meant.
std::string HintFor(const serial_result::OpenFailure& failure, const std::string& address = {},
                    const HintWords& words = EnglishHints());
// For a pairing or the removal of a bond with the module at address; empty when it ended well.
std::string HintFor(const bluetooth::PairOutcome& outcome, const std::string& address,
                    const HintWords& words = EnglishHints());

} // namespace provisioning
