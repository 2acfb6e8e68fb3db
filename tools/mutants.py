#!/usr/bin/env python3
"""Seeded faults that the test suite must catch.

Each mutant replaces one exact piece of code (it must occur exactly once),
rebuilds the tree incrementally, runs the tests that should notice, and puts
the file back. The tests of the chosen mutants run unchanged first; when one
fails, no mutant runs (exit 2). A kill names the test that failed (and the
first failing case, or "time-out"); a mutant that does not build is reported
as not built, never counted as killed. Exits 1 when a mutant survives, does
not build or no longer applies.

    tools/mutants.py [--list] [--only NAME,...] [--arch i686|x86_64] [--extra FILE.json]
"""
import argparse
import json
import os
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# name, file, code, mutated code, tests (ctest names)
MUTANTS = [
    ("text byte count without the NUL", "src/contract/parameter_values.cpp",
     "(value.size() + 1) * sizeof(wchar_t)", "value.size() * sizeof(wchar_t)",
     ["host_test", "actions_test"]),
    ("number accepted at any size", "src/contract/parameter_values.cpp",
     "size != sizeof(T)", "size < sizeof(T)", ["actions_test", "lifecycle_test"]),
    ("host Control read as Alt", "src/actions/key_code.cpp",
     "if (value & Host_flag::control)\n        code |= control;",
     "if (value & Host_flag::control)\n        code |= alt;", ["actions_test"]),
    ("listener Shift read as Control", "src/actions/key_code.cpp",
     "if (modifiers & listener_shift)\n        code |= shift;",
     "if (modifiers & listener_shift)\n        code |= control;", ["actions_test"]),
    ("release of a press that went through swallowed", "src/actions/shortcut_listener.cpp",
     "if (pressed == 0)\n            return false;", "if (pressed == 0)\n            return true;",
     ["actions_test"]),
    ("our own injected output matched by the listener", "src/actions/shortcut_listener.cpp",
     "if ((event->flags & LLKHF_INJECTED) != 0 && Own_output::in_progress())",
     "if (false)", ["actions_test"]),
    ("a swallowed press outlives its key stroke", "src/actions/shortcut_listener.cpp",
     "if ((remembered & stale_mark) == 0 && (remembered & Key_code::low_mask) == code)",
     "if (true)", ["actions_test"]),
    ("binding messages never unsubscribed", "src/actions/keyboard_shortcuts.cpp",
     "while (!subscriptions_.empty())\n        subscriptions_.pop_back();", "",
     ["actions_test"]),
    ("direct bindings left out of the listener", "src/actions/keyboard_shortcuts.cpp",
     "if (!Key_code::is_direct(code) || entry.ident.empty())",
     "if (Key_code::is_direct(code) || entry.ident.empty())", ["actions_test"]),
    ("clipboard not restored after an action", "src/output/clipboard_backup_scope.cpp",
     "            handler_.restore_formats(backup_);\n", "",
     ["selection_actions_test", "output_clipboard_handler_test"]),
    ("pasted text without its NUL", "src/output/clipboard_handler.cpp",
     "(length + 1) * sizeof(wchar_t)", "length * sizeof(wchar_t)",
     ["output_clipboard_handler_test", "selection_actions_test"]),
    ("second clipboard action let in", "src/output/clipboard_gate.cpp",
     "if (!g_busy.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {",
     "if (false) {", ["output_clipboard_gate_test", "x_selection_test"]),
    ("copy job settles on an earlier update", "src/output/clipboard_window.cpp",
     "        // A settle timer still running from an earlier update must not\n"
     "        // complete this job with the clipboard as it was before the copy.\n"
     "        KillTimer(window_.get(), settle_timer);\n", "",
     ["output_clipboard_window_test"]),
    ("clipboard window made by whichever thread asks first", "src/output/clipboard_window.cpp",
     "        << \"no clipboard window: the plug-in has not started, or has shut down\";\n"
     "    return nullptr;",
     "        << \"no clipboard window: the plug-in has not started, or has shut down\";\n"
     "    process_window_slot() = std::make_unique<Clipboard_window>();\n"
     "    return process_window_slot()->handle();",
     ["output_clipboard_window_test"]),
    ("a wait told to sit through a quit ends at it", "src/contract/message_pump.cpp",
     "if (on_quit == On_quit::end_wait) {", "if (true) {", ["output_clipboard_window_test"]),
    ("a quit taken by a wait is not handed on", "src/contract/message_pump.cpp",
     "    if (quit)\n        PostQuitMessage(static_cast<int>(quit_code));\n", "",
     ["output_clipboard_window_test"]),
    ("user ident mark ignored", "src/storage/code_storage.cpp",
     "n = std::max(by_rowid, mark + 1);", "n = by_rowid;", ["storage_test"]),
    ("backup copied onto itself", "src/storage/file_copy.cpp",
     "if (same_file(from, to)) {", "if (false) {", ["storage_test", "actions_test"]),
    ("no wait for a busy database", "src/storage/sqlite_layer.cpp",
     "        sqlite3_busy_timeout(db.get(), busy_timeout_ms);\n", "",
     ["storage_test", "actions_test"]),
    ("failed binding load replaces the map", "src/storage/shortcut_database.cpp",
     "            << L\"; the bindings read before stay in use\";\n        return false;",
     "            << L\"; the bindings read before stay in use\";\n"
     "        bindings = std::move(loaded);\n        return false;", ["actions_test"]),
    ("restored backup's columns unchecked", "src/storage/code_storage.cpp",
     "if (!SQLite::has_exact_columns(db.get(), \"code_store\", columns, reason)) {",
     "if (false) {", ["storage_test"]),
    ("code storage reopened under its readers", "src/storage/code_storage.cpp",
     "        // No reader may use the connection while it is closed and reopened.\n"
     "        std::unique_lock<std::shared_mutex> lock(connection_mutex_);\n", "", ["storage_test"]),
    ("one database restored without the other", "src/plugin/zp_startup_filter.cpp",
     "    if (code_storage_->restore_backup(previous.path()) != 0)\n",
     "    if (true)\n", ["lifecycle_test"]),
    ("translation falls back to nothing", "src/text/textprovider.cpp",
     "        return english;", "        return L\"\";", ["text_test"]),
    ("'&' escaped as '%25'", "src/util/url_text.cpp",
     "c == L'%' ? L'5' : c == L'&' ? L'6' : L'3'", "c == L'%' ? L'5' : c == L'&' ? L'5' : L'3'",
     ["link_text_test", "url_interpreter_test"]),
    ("inserted text keeps its key elements", "src/interpreters/typing_language.cpp",
     "        result = Typing_language::without_element_markers(result);", "        (void)0;",
     ["interpreters_test"]),
    ("no budget of action runs", "src/interpreters/typing_language.cpp",
     "if (action_runs_left <= 0) {", "if (false) {", ["interpreters_test"]),
    ("damaged record counted as running to the end", "src/output/text_expansion.cpp",
     "                value = 0;\n                length = 1;\n",
     "                value = 0;\n                length = remaining;\n",
     ["output_text_expansion_test"]),
    ("batch script without its exit", "src/interpreters/batch_interpreter.cpp",
     "return bytes + \"\\r\\nexit\\r\\n\";", "return bytes + \"\\r\\n\";",
     ["batch_interpreter_test"]),
    ("clipboard braces rendered in a batch script", "src/interpreters/batch_interpreter.cpp",
     "render_code(host(), environment_.get(), code, Inserted_text::as_is).text;",
     "render_code(host(), environment_.get(), [&] {\n"
     "        std::wstring c = code;\n"
     "        const std::wstring t = Handler_text_source().clipboard_text();\n"
     "        for (std::size_t at = c.find(L\"{clipboard}\"); at != std::wstring::npos;\n"
     "             at = c.find(L\"{clipboard}\", at + t.size()))\n"
     "            c.replace(at, 11, t);\n"
     "        return c;\n"
     "    }(), Inserted_text::as_is).text;",
     ["batch_interpreter_test"]),
    ("regex filters case-blind", "src/interpreters/regex_filter.cpp",
     "auto flags = boost::regex_constants::ECMAScript |",
     "auto flags = boost::regex_constants::icase | boost::regex_constants::ECMAScript |",
     ["interpreters_test"]),
    ("base64 padding read as data", "src/builtin_actions/text_codecs.cpp",
     "if (low == '=')", "if (low == '~')", ["text_codecs_test"]),
    ("stash slot from the wrong key bits", "src/builtin_actions/clipboard_stash.cpp",
     "    auto key = static_cast<std::uint8_t>(key_code() & 0xFF);\n"
     "    // The slot travels",
     "    auto key = static_cast<std::uint8_t>((key_code() >> 8) & 0xFF);\n"
     "    // The slot travels", ["selection_actions_test", "x_selection_test"]),
    ("tree entries sorted backwards", "src/ui/action_tree.cpp",
     "return lstrcmpiW(a.c_str(), b.c_str()) < 0;", "return lstrcmpiW(a.c_str(), b.c_str()) > 0;",
     ["ui_test"]),
    ("Caps Lock named after the wrong key", "src/ui/key_names.cpp",
     "{20, translatable(L\"Caps Lock\")}", "{21, translatable(L\"Caps Lock\")}", ["ui_test"]),
    ("refused abbreviation taken as saved", "src/ui/manage_actions_dialog.cpp",
     "if (Param::read_flag(list.get(), L\"stored\", false)) {", "if (true) {", ["ui_test"]),
    ("activation key answer taken with modifier bits", "src/ui/key_choice.cpp",
     "if (key == 0 || key > 0xFF) {", "if (key == 0) {", ["binding_dialogs_test"]),
    ("Ctrl+A handler not installed on the fields", "src/ui/manage_actions_dialog.cpp",
     "if (!SetWindowSubclass(item(id), select_all_on_ctrl_a, 0, 0))",
     "if (false && !SetWindowSubclass(item(id), select_all_on_ctrl_a, 0, 0))", ["ui_test"]),
    ("abbreviation row removed as a key code", "src/ui/key_binding_settings_dialog.cpp",
     "if (key_code & abbreviation_bit) {", "if (false) {", ["binding_dialogs_test"]),
    ("backup result not ANDed", "src/plugin/startup_filter.cpp",
     "Param::write_flag(list, L\"result\", ok && earlier);",
     "Param::write_flag(list, L\"result\", ok);", ["lifecycle_test"]),
    ("second start-up without a shut-down", "src/plugin/zp_startup_filter.cpp",
     "        tear_down();\n    }\n    build();", "    }\n    build();", ["concurrency_test"]),
    ("shut-down frees an action under its frame", "src/plugin/zp_startup_filter.cpp",
     "    if (Trace::entry_depth() > 1) {\n        Trace::info",
     "    if (false) {\n        Trace::info", ["actions_test"]),
    ("start-up from inside an action rebuilds under it", "src/plugin/zp_startup_filter.cpp",
     "    if (Trace::entry_depth() > 1) {\n        Trace::error",
     "    if (false) {\n        Trace::error", ["actions_test"]),
    ("shut-down waits for the colour dialog", "src/plugin/zp_startup_filter.cpp",
     "    Colour_dialogs::cancel_all();\n", "", ["concurrency_test"]),
    ("finalize from inside an action frees it", "src/plugin/plugin_entry.cpp",
     "        if (Trace::entry_depth() > 1) {\n            // The host ends us",
     "        if (false) {\n            // The host ends us", ["actions_test"]),
    ("shut-down leaves the clipboard gate open", "src/plugin/zp_startup_filter.cpp",
     "    Clipboard_gate::close();\n", "", ["concurrency_test"]),
    ("second tray dialog over the first", "src/plugin/tray_menu_filter.cpp",
     "        if (open_window_) {", "        if (false) {", ["binding_dialogs_test"]),
    ("contract: Parameters slots 1 and 2 swapped", "src/contract/host_interface.h",
     "    /*1*/ virtual void set_text(const wchar_t* key, const wchar_t* text, unsigned int length) = 0;\n"
     "    /*2*/ virtual void set(const wchar_t* key, const void* data, unsigned int byte_count) = 0;\n",
     "    /*2*/ virtual void set(const wchar_t* key, const void* data, unsigned int byte_count) = 0;\n"
     "    /*1*/ virtual void set_text(const wchar_t* key, const wchar_t* text, unsigned int length) = 0;\n",
     ["contract_test"]),
    ("trace error lines without their kind", "src/trace/trace.cpp",
     "s.write_narrow_z(\"ERR\\t[\")", "s.write_narrow_z(\"ERR [\")", ["trace_test"]),
    ("host child lists found by prefix", "host/parameter_list.cpp",
     "Parameters* Parameter_list::find_child(const wchar_t* key) {",
     "Parameters* Parameter_list::find_child(const wchar_t* key) {\n    if (key && *key)\n        return child(key);",
     ["host_test"]),
    ("word abbreviation fires inside a word", "src/actions/abbreviation_matcher.cpp",
     ": !is_word_character(text[begin - 1]));", ": true);", ["actions_test"]),
    ("Backspace removes half of a surrogate pair", "src/actions/abbreviation_matcher.cpp",
     "const bool pair = buffer_.size() >= 2 &&", "const bool pair = false &&", ["actions_test"]),
    ("case-sensitive abbreviation fires in any case", "src/actions/abbreviation_matcher.cpp",
     "return !entry.case_sensitive || text.compare(", "return true || text.compare(",
     ["actions_test"]),
    ("abbreviations typed into a password edit", "src/actions/shortcut_listener.cpp",
     "if (excluded_app_ || password_ || state.set.empty()) {",
     "if (excluded_app_ || state.set.empty()) {", ["actions_test"]),
    ("buffer kept when the caret moved without a key", "src/actions/shortcut_listener.cpp",
     "        if (info.hwndCaret == caret_window_ &&", "        if (false &&",
     ["actions_x_abbreviation_test"]),
    ("keys typed during an expansion pass before it", "src/actions/shortcut_listener.cpp",
     "        return hold_key(event, *abbreviations);", "        return false;", ["actions_test"]),
    ("a password edit under real keys taken for a plain one", "src/actions/shortcut_listener.cpp",
     "password_ = is_password_edit(focus);", "password_ = false;",
     ["actions_x_abbreviation_test"]),
    ("real keys typed right after a fire not held", "src/actions/shortcut_listener.cpp",
     "return turns_->pending.load(std::memory_order_acquire) > 0 ||", "return false &&",
     ["actions_x_abbreviation_test"]),
    ("keys held during an expansion never feed the buffer", "src/actions/shortcut_listener.cpp",
     "if (feed_matcher(event, state, text, match)) {", "if (false) {", ["lifecycle_test"]),
    ("capitals change a key element's hex digits", "src/interpreters/typing_interpreter.cpp",
     "            i += 3;", "            ++i;", ["lifecycle_test"]),
    ("capitals change letters typed with a key held down", "src/interpreters/typing_interpreter.cpp",
     "held == 0 && Letter_case::has_case(c)", "Letter_case::has_case(c)", ["lifecycle_test"]),
    ("background typist answers a worker before typing", "host/send_input_typist.cpp",
     "const bool awaited = GetCurrentThreadId() != host_thread_;", "const bool awaited = false;",
     ["host_test"]),
    ("trace lines kept in memory until a flush", "src/trace/trace.cpp",
     "if (bytes.find('\\n') == std::string::npos)", "if (true)", ["trace_test"]),
    ("the keyboard hook reports every key as a release", "host/keyboard_hook.cpp",
     "key_down ? 1 : 0", "0", ["actions_x_key_test"]),
]

# Tests that are scripts or other programs: the targets they need.
SCRIPT_TARGETS = {
    "x_selection_test": ["zaptor", "vqhost", "zaptor_target", "zaptor_target_ctl", "zaptor_lng"],
    "actions_x_key_test": ["zaptor", "vqhost", "zaptor_target", "zaptor_target_ctl", "zaptor_lng"],
    "actions_x_abbreviation_test": ["zaptor", "vqhost", "zaptor_target", "zaptor_target_ctl",
                                    "zaptor_lng"],
    "contract_test": ["zaptor_contract_host"],
    "smoke32": ["zaptor", "vqhost", "zaptor_lng"],
}


def run(cmd, timeout=None):
    """Return code and output of a command in the source tree."""
    done = subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=timeout)
    return done.returncode, done.stdout.decode("utf-8", "replace")


def build(build_dir, tests):
    targets = []
    for t in tests:
        targets += SCRIPT_TARGETS.get(t, [t])
    return run(["cmake", "--build", build_dir, "-j2", "--target"] + targets)


# "1/2 Test #5: storage_test .....***Failed    3.1 sec" and its gtest lines.
CTEST_RESULT = re.compile(r"Test +#\d+: (\S+) \.*\s*(\*\*\*\w+|Passed)")
GTEST_FAILED = re.compile(r"^\[  FAILED  \] ([\w/.]+)")


def run_tests(build_dir, tests):
    """(passed, [what failed]) for the tests, each failure named with its
    first failing test case and labelled when it timed out."""
    regex = "^(" + "|".join(tests) + ")$"
    code, out = run(["ctest", "--test-dir", build_dir, "-R", regex, "--timeout", "300",
                     "--output-on-failure"])
    # With --output-on-failure a test's output follows its result line.
    failures, current = [], None
    for line in out.splitlines():
        result = CTEST_RESULT.search(line)
        if result:
            current = None
            if "Passed" not in result.group(2):
                timed_out = "Timeout" in result.group(2)
                failures.append([result.group(1) + (" (time-out)" if timed_out else ""), None])
                current = failures[-1]
            continue
        case = GTEST_FAILED.match(line)
        if current is not None and case and current[1] is None and "." in case.group(1):
            current[1] = case.group(1)
    labels = [name + (": " + case if case else "") for name, case in failures]
    if code != 0 and not labels:
        labels.append("ctest exit code %d" % code)
    return code == 0, labels


def load_extra(path):
    """Mutants kept outside the project (a held-out set): a JSON list of
    objects with name, file, code, mutated and tests."""
    with open(path, encoding="utf-8") as f:
        return [(m["name"], m["file"], m["code"], m["mutated"], m["tests"]) for m in json.load(f)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--arch", default="i686")
    parser.add_argument("--only", default="")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--extra", default="", help="JSON file of further mutants, run instead")
    args = parser.parse_args()
    build_dir = os.path.join(ROOT, "build", args.arch)
    pool = load_extra(args.extra) if args.extra else MUTANTS
    chosen = [m for m in pool if not args.only or m[0] in args.only.split(",")]
    if args.list:
        for m in chosen:
            print(f"{m[1]}: {m[0]} -> {' '.join(m[4])}")
        return 0
    # The tests must pass unchanged first: a kill by a test that fails anyway
    # would prove nothing.
    baseline = sorted({t for m in chosen for t in m[4]})
    code, out = build(build_dir, baseline)
    if code != 0:
        print(out[-3000:])
        print("baseline: the unchanged tree does not build; no mutant run")
        return 2
    passed, failures = run_tests(build_dir, baseline)
    if not passed:
        print("baseline: unchanged tests fail: " + "; ".join(failures) + "; no mutant run")
        return 2
    print(f"baseline: {len(baseline)} tests pass unchanged", flush=True)
    killed, survived, stale, unbuilt = [], [], [], []
    for name, path, code_text, mutated, tests in chosen:
        full = os.path.join(ROOT, path)
        with open(full, encoding="utf-8") as f:
            original = f.read()
        if original.count(code_text) != 1:
            stale.append(name)
            print(f"STALE     {name} ({path}: the code occurs {original.count(code_text)} times)",
                  flush=True)
            continue
        start = time.time()
        try:
            with open(full, "w", encoding="utf-8") as f:
                f.write(original.replace(code_text, mutated))
            if build(build_dir, tests)[0] != 0:
                # A mutant that does not compile says nothing about the tests.
                result = "NOT BUILT"
                unbuilt.append(name)
            else:
                passed, failures = run_tests(build_dir, tests)
                if passed:
                    result = "SURVIVED"
                    survived.append(name)
                else:
                    result = "killed"
                    killed.append(name)
                    name = f"{name} [by {'; '.join(failures)}]"
        finally:
            with open(full, "w", encoding="utf-8") as f:
                f.write(original)
        print(f"{result:9} {name} ({path}; {' '.join(tests)}; {time.time() - start:.0f} s)",
              flush=True)
    counted = len(killed) + len(survived)
    print(f"mutants: {len(killed)}/{counted} killed"
          f" ({len(unbuilt)} not built, {len(stale)} no longer apply; neither counted)")
    if survived:
        print("survived: " + "; ".join(survived))
    if unbuilt:
        print("not built: " + "; ".join(unbuilt))
    if stale:
        print("no longer apply: " + "; ".join(stale))
    # Leave the tree built as it is checked in.
    run(["cmake", "--build", build_dir, "-j2"])
    return 0 if not survived and not stale and not unbuilt else 1


if __name__ == "__main__":
    sys.exit(main())
