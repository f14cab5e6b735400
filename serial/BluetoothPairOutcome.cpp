// The names of a pairing's outcomes, the same on every platform: one vocabulary for text and JSON.
#include "Bluetooth.h"

namespace bluetooth {

namespace {

struct Names {
    const char* name;
    const char* words;
};

Names NamesOf(PairOutcome::Kind kind) {
    using Kind = PairOutcome::Kind;
    switch (kind) {
    case Kind::kPaired:
        return {"paired", "paired"};
    case Kind::kAlreadyPaired:
        return {"already-paired", "already paired"};
    case Kind::kUnpaired:
        return {"unpaired", "unpaired"};
    case Kind::kWrongPin:
        return {"wrong-pin", "wrong PIN"};
    case Kind::kRefused:
        return {"refused", "refused"};
    case Kind::kNoAnswer:
        return {"no-answer", "no answer"};
    case Kind::kUnknownDevice:
        return {"unknown-device", "unknown device"};
    case Kind::kNoAdapter:
        return {"no-adapter", "no adapter"};
    case Kind::kUnavailable:
        break;
    case Kind::kStopped:
        return {"stopped", "stopped"};
    }
    return {"bluetooth-unavailable", "Bluetooth unavailable"};
}

} // namespace

const char* PairOutcomeName(PairOutcome::Kind kind) {
    return NamesOf(kind).name;
}

const char* PairOutcomeWords(PairOutcome::Kind kind) {
    return NamesOf(kind).words;
}

bool PairOutcomeIsGood(PairOutcome::Kind kind) {
    return kind == PairOutcome::Kind::kPaired || kind == PairOutcome::Kind::kAlreadyPaired ||
           kind == PairOutcome::Kind::kUnpaired;
}

} // namespace bluetooth
