// Runs console script lines against a Reference_host; each output line goes
// to a callback (vqhost.exe prints it, tests collect it).
//
// Commands: load PATH, finalize, unload, send NAME [KEY=VALUE ...],
// answer NAME [KEY=VALUE ... | none], chdir PATH, sleep MS, echo TEXT, # comment,
// listener down|up VK [shift] [ctrl] [alt] (prints "= listener true|false"),
// listener type TEXT (the US layout's key strokes for each character; prints
// "= listener " and per character - passed, ! swallowed),
// hook (installs the keyboard hook for the rest of the script), activation VK,
// wait MS (serves the host thread's messages meanwhile; sleep does not),
// clock (prints "clock N", milliseconds on a monotonic clock),
// type last | type TEXT (prints "type: " and the typing data with its control
// elements made visible, see Typing_decoder::visible_form; TEXT is the rest
// of the line, or a quoted text with the value escapes, e.g. "ab\u000125"),
// typing on|off ("vq_keyboard_write" data is then also typed into the
// foreground window with SendInput, on the console's thread; it is always
// recorded).
// Output: "= KEY VALUE" for every value of a sent list afterwards,
// "> NAME KEY=VALUE ..." for every request the plug-in sends, when it arrives,
// "error: line N: MESSAGE" for the line that stopped the script.
#pragma once

#include "host/keyboard_hook.h"
#include "host/plugin_library.h"
#include "host/reference_host.h"
#include "host/send_input_typist.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class Script_console {
public:
    using Output = std::function<void(const std::string& line)>;

    Script_console(Reference_host& host, Output output);
    // Ends like a host exits: "shutdown" when the script sent "startup" and no
    // "shutdown" since, then finalize and FreeLibrary for a plug-in still loaded.
    ~Script_console();
    Script_console(const Script_console&) = delete;
    Script_console& operator=(const Script_console&) = delete;

    // Runs the next line; false (and the error line written) when it failed.
    bool run_line(const std::string& line);
    // Runs every line until one fails: 0 when all ran, 1 otherwise.
    int run(const std::string& script_text);

    int line_number() const { return line_number_; }
    const std::string& last_error() const { return last_error_; }
    Plugin_library& plugin() { return plugin_; }
    // The hook that the "hook" command installed, or null.
    Keyboard_hook* hook() { return hook_.get(); }

    // The lines of a sent list: "= KEY VALUE", children as dotted keys.
    static std::vector<std::string> format_list(const Parameter_list& list);
    // "> NAME KEY=VALUE ..." for a request.
    static std::string format_request(const std::wstring& name, Parameters* list);

private:
    bool execute(const std::vector<std::string>& words, const std::string& rest,
                 std::string& error);
    bool command_load(const std::string& path, std::string& error);
    bool command_finalize(std::string& error);
    bool command_unload(std::string& error);
    bool command_send(const std::vector<std::string>& words, std::string& error);
    bool command_answer(const std::vector<std::string>& words, std::string& error);
    bool command_listener(const std::vector<std::string>& words, std::string& error);
    bool command_listener_type(const std::string& rest, std::string& error);
    bool command_type(const std::string& rest, std::string& error);
    bool command_typing(const std::vector<std::string>& words, std::string& error);
    bool command_await(const std::vector<std::string>& words, std::string& error);
    void print(const std::string& line);
    std::size_t requests_seen(const std::wstring& name);
    void close_plugin();

    Reference_host& host_;
    Output output_;
    std::mutex output_mutex_;
    // Requests the plug-in has sent, by name (any thread may send): what
    // "await" waits for instead of a guessed pause.
    std::map<std::wstring, std::size_t> request_counts_;
    Plugin_library plugin_;
    std::unique_ptr<Keyboard_hook> hook_;
    std::unique_ptr<Send_input_typist> typist_;
    bool started_ = false; // "startup" sent, no "shutdown" since
    int line_number_ = 0;
    std::string last_error_;
};
