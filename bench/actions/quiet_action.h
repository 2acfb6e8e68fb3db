// An action that only counts its runs, for the listener benchmarks: what is
// timed is the way to it, not its work.
#pragma once

#include "actions/filter_base_key_action.h"

#include <atomic>

class Quiet_action final : public FilterBaseKeyAction {
public:
    using FilterBaseKeyAction::FilterBaseKeyAction;
    int process_activate() override { return ++runs; }
    int process_deactivate() override { return ++runs; }
    const wchar_t* name() override { return L"Bench"; }
    const wchar_t* description() override { return L"Bench action"; }
    std::atomic<int> runs{0};
};
