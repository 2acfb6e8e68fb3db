#include "interpreters/typing_language.h"

#include "contract/parameter_values.h"
#include "contract/unique_handle.h"
#include "interpreters/kv_store.h"
#include "interpreters/regex_filter.h"
#include "interpreters/time_shift.h"
#include "interpreters/typing_data.h"
#include "interpreters/typing_environment.h"
#include "trace/trace.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <exception>
#include <limits>
#include <optional>

namespace {

using Typing_data::key_element;

struct Key_name {
    const wchar_t* name;
    std::uint8_t code;
};

const Key_name key_names[] = {
    {L"pos1", 0x24},   {L"end", 0x23},     {L"back", 0x08},      {L"del", 0x2e},
    {L"left", 0x25},   {L"right", 0x27},   {L"down", 0x28},      {L"insert", 0x2d},
    {L"escape", 0x1b}, {L"page_up", 0x21}, {L"page_down", 0x22}, {L"caps", 0x14},
    {L"up", 0x26},     {L"f1", 0x70},      {L"f2", 0x71},        {L"f3", 0x72},
    {L"f4", 0x73},     {L"f5", 0x74},      {L"f6", 0x75},        {L"f7", 0x76},
    {L"f8", 0x77},     {L"f9", 0x78},      {L"f10", 0x79},       {L"f11", 0x7a},
    {L"f12", 0x7b},    {L"alt", 0x12},     {L"shift", 0x10},     {L"control", 0x11},
    {L"ctrl", 0x11},   {L"lbutton", 0x01},
};

// The typing data of one key name in one of the three key element forms.
std::wstring key_text(const std::wstring& name, wchar_t marker) {
    if (name == L"tab")
        return L"\t";
    if (name == L"return")
        return L"\r";
    if (name == L"space")
        return L" ";
    for (const Key_name& key : key_names)
        if (name == key.name)
            return key_element(marker, key.code);
    return name;
}

bool is_trim_character(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n';
}

std::wstring trim(const std::wstring& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && is_trim_character(text[first]))
        ++first;
    while (last > first && is_trim_character(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

bool starts_with(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

bool is_absolute_path(const std::wstring& path) {
    if (path.size() >= 3 &&
        ((path[0] >= L'a' && path[0] <= L'z') || (path[0] >= L'A' && path[0] <= L'Z')) &&
        path[1] == L':' && (path[2] == L'\\' || path[2] == L'/'))
        return true;
    return starts_with(path, L"\\\\"); // a network share
}

std::wstring join_path(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty())
        return name;
    const wchar_t last = folder.back();
    return last == L'\\' || last == L'/' ? folder + name : folder + L"\\" + name;
}

// A file named `path` plus any extension: with several, the first by name
// (compared without case), so that the choice does not depend on the order
// the file system lists them in.
std::wstring find_with_extension(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    WIN32_FIND_DATAW data{};
    Unique_find find(FindFirstFileW((path + L".*").c_str(), &data));
    if (!find)
        return {};
    std::wstring best;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::wstring name = data.cFileName;
        if (best.empty() ||
            CompareStringOrdinal(name.c_str(), -1, best.c_str(), -1, TRUE) == CSTR_LESS_THAN)
            best = name;
    } while (FindNextFileW(find.get(), &data));
    return best.empty() ? std::wstring() : folder + best;
}

// Reads a number the way strtol with base 0 does (optional sign, "0x" hex,
// leading 0 octal), saturating instead of overflowing. `digits` tells
// whether any digit was read.
long long read_auto_base(const std::wstring& text, bool& digits) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    int base = 10;
    digits = false;
    if (i < text.size() && text[i] == L'0') {
        digits = true;
        const bool hex_follows = i + 2 < text.size() && text[i + 1] == L'x' &&
                                 ((text[i + 2] >= L'0' && text[i + 2] <= L'9') ||
                                  (text[i + 2] >= L'a' && text[i + 2] <= L'f'));
        if (hex_follows) {
            base = 16;
            i += 2;
        } else {
            base = 8;
            ++i;
        }
    }
    const long long limit = std::numeric_limits<long long>::max() / 16;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i];
        int digit;
        if (c >= L'0' && c <= L'9')
            digit = c - L'0';
        else if (c >= L'a' && c <= L'f')
            digit = c - L'a' + 10;
        else
            break;
        if (digit >= base)
            break;
        digits = true;
        value = value < limit ? value * base + digit : limit;
    }
    return negative ? -value : value;
}

} // namespace

namespace Typing_language {

std::wstring lower_case(const std::wstring& text) {
    std::wstring out = text;
    for (wchar_t& c : out) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        else if (c == L'\u00C4')
            c = L'\u00E4';
        else if (c == L'\u00D6')
            c = L'\u00F6';
        else if (c == L'\u00DC')
            c = L'\u00FC';
    }
    return out;
}

std::wstring drop_break_after_shift_return(const std::wstring& text,
                                           const std::vector<Placeholder_span>& kept) {
    static const std::wstring sequence = L"\x0002"
                                         L"10\r\x0003"
                                         L"10\r\n";
    std::size_t at = text.find(sequence);
    if (at == std::wstring::npos)
        return text;
    std::wstring out;
    out.reserve(text.size());
    std::size_t copied = 0;
    auto range = kept.begin();
    for (; at != std::wstring::npos; at = text.find(sequence, at + 1)) {
        if (at < copied)
            continue; // overlaps the match before
        while (range != kept.end() && range->end <= at)
            ++range;
        // Copied text keeps its line breaks, and a break typed in the code
        // after copied text that merely ends like the sequence stays too.
        if (range != kept.end() && range->begin < at + sequence.size())
            continue;
        out.append(text, copied, at - copied);
        out.append(sequence, 0, sequence.size() - 2);
        copied = at + sequence.size();
    }
    out.append(text, copied, std::wstring::npos);
    return out;
}

std::wstring key_sequence(const std::wstring& argument) {
    std::vector<std::wstring> names;
    for (std::size_t i = 0; i < argument.size();) {
        const std::size_t space = argument.find(L' ', i);
        const std::size_t end = space == std::wstring::npos ? argument.size() : space;
        if (end > i)
            names.push_back(argument.substr(i, end - i));
        i = end + 1;
    }
    if (names.empty())
        return {};
    std::wstring last = names.back();
    unsigned count = 1;
    const std::size_t dash = last.rfind(L'-');
    if (dash != std::wstring::npos && dash + 1 < last.size() &&
        std::all_of(last.begin() + static_cast<std::ptrdiff_t>(dash) + 1, last.end(),
                    [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
        unsigned long long value = 0;
        for (std::size_t i = dash + 1; i < last.size(); ++i)
            value = std::min<unsigned long long>(value * 10 + (last[i] - L'0'), 1000000000ULL);
        if (value > max_key_repeat) {
            Trace::error("Typing_language::key_sequence")
                << L"count " << last.substr(dash + 1) << L" of " << last.substr(0, dash)
                << L" is more than " << max_key_repeat << L"; pressing " << max_key_repeat
                << L" times";
            value = max_key_repeat;
        }
        count = static_cast<unsigned>(value);
        last.erase(dash);
    }
    std::wstring out;
    for (std::size_t i = 0; i + 1 < names.size(); ++i)
        out += key_text(names[i], Typing_data::key_down);
    const std::wstring press = key_text(last, Typing_data::key_press);
    out.reserve(out.size() + press.size() * count);
    for (unsigned i = 0; i < count; ++i)
        out += press;
    for (std::size_t i = names.size() - 1; i-- > 0;)
        out += key_text(names[i], Typing_data::key_up);
    return out;
}

std::wstring sleep_element(const std::wstring& argument) {
    bool digits = false;
    long long value = read_auto_base(lower_case(argument), digits);
    if (!digits) {
        Trace::error("Typing_language::sleep_element")
            << L"\"" << argument << L"\" is not a number; pausing 0 ms";
        value = 0;
    } else if (value < 0) {
        Trace::error("Typing_language::sleep_element")
            << L"negative pause \"" << argument << L"\"; pausing 0 ms";
        value = 0;
    }
    return Typing_data::pause_element(static_cast<std::uint16_t>(value % 65535));
}

std::wstring without_element_markers(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text)
        if (c < Typing_data::key_press || c > Typing_data::record)
            out += c;
    return out;
}

} // namespace Typing_language

std::vector<Placeholder_span> find_placeholders(const std::wstring& text) {
    std::vector<Placeholder_span> spans;
    std::size_t open = text.find(L'{');
    while (open != std::wstring::npos) {
        const std::size_t next = text.find_first_of(L"{}", open + 1);
        if (next == std::wstring::npos)
            break;
        if (text[next] == L'{') {
            open = next;
            continue;
        }
        spans.push_back({open, next + 1});
        open = text.find(L'{', next);
    }
    return spans;
}

namespace {

// Nesting of "action" placeholders on this thread; an action that runs itself
// would otherwise recurse until the stack of the host's thread overflows.
thread_local int action_depth = 0;

// What is left of the "action" runs of the top-level text being expanded on
// this thread, and whether a limit has been reported for it: once is enough.
thread_local int action_runs_left = Typing_language::max_action_runs;
thread_local bool action_limit_reported = false;

struct Depth_guard {
    Depth_guard() { ++action_depth; }
    ~Depth_guard() { --action_depth; }
    Depth_guard(const Depth_guard&) = delete;
    Depth_guard& operator=(const Depth_guard&) = delete;
};

// --- Reading arguments and answers: nothing here asks the host or the desktop

// "{name:argument}"; further colons belong to the argument.
struct Placeholder_parts {
    std::wstring name; // lower case
    std::wstring argument;
};

Placeholder_parts split_placeholder(const std::wstring& placeholder) {
    const std::wstring inner = placeholder.substr(1, placeholder.size() - 2);
    const std::size_t colon = inner.find(L':');
    return {Typing_language::lower_case(inner.substr(0, colon)),
            colon == std::wstring::npos ? std::wstring() : inner.substr(colon + 1)};
}

// The clipboard and the selection: the whole text, or what the filter makes of it.
std::wstring filtered(const std::wstring& text, const std::wstring& filter) {
    return filter.empty() ? text : Regex_filter::apply(text, filter);
}

// "(+1d)dd.MM.": an optional time shift, then the format.
struct Time_argument {
    std::optional<Time_shift> shift;
    std::wstring format;
};

Time_argument parse_time_argument(std::wstring argument, const wchar_t* default_format) {
    Time_argument parsed;
    Time_shift shift;
    if (take_time_shift(argument, shift))
        parsed.shift = shift;
    parsed.format = argument.empty() ? default_format : argument;
    return parsed;
}

SYSTEMTIME shifted(const SYSTEMTIME& time, const Time_argument& argument) {
    return argument.shift ? apply_time_shift(time, *argument.shift) : time;
}

// "text, Your name": the kind of question and its title, both trimmed.
struct Question {
    std::wstring kind;
    std::wstring title;
};

Question parse_question(const std::wstring& argument) {
    const std::wstring trimmed = trim(argument);
    const std::size_t separator = trimmed.find_first_of(L" ,");
    return {trim(trimmed.substr(0, separator)),
            separator == std::wstring::npos ? std::wstring() : trim(trimmed.substr(separator + 1))};
}

std::wstring link_of(const std::wstring& argument) {
    const std::size_t bar = argument.find(L'|');
    return bar == std::wstring::npos
               ? Typing_data::link_record(argument, {})
               : Typing_data::link_record(argument.substr(0, bar), argument.substr(bar + 1));
}

// A web address or an absolute path is used as it is; anything else is a
// name in the image folder.
bool is_image_reference(const std::wstring& argument) {
    return starts_with(argument, L"http") || is_absolute_path(argument);
}

bool has_extension(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::size_t name_start = slash == std::wstring::npos ? 0 : slash + 1;
    return path.find(L'.', name_start) != std::wstring::npos;
}

// The answer to a date question comes from outside: kept within what Windows
// can format.
SYSTEMTIME valid_date(int year, int month, int day) {
    SYSTEMTIME date{};
    date.wYear = static_cast<WORD>(std::clamp(year, 1601, 30827));
    date.wMonth = static_cast<WORD>(std::clamp(month, 1, 12));
    date.wDay = static_cast<WORD>(std::clamp(day, 1, days_in_month(date.wYear, date.wMonth)));
    return date;
}

// Whether one more "action" placeholder may run on this thread; the first
// refusal of a text is traced.
bool action_allowed(const std::wstring& ident) {
    if (action_runs_left <= 0) {
        if (!action_limit_reported)
            Trace::error("Typing_expander::action")
                << L"more than " << Typing_language::max_action_runs
                << L" actions run for one text; " << ident << L" and later ones not run";
        action_limit_reported = true;
        return false;
    }
    if (action_depth >= Typing_language::max_action_depth) {
        if (!action_limit_reported)
            Trace::error("Typing_expander::action")
                << L"actions nested deeper than " << Typing_language::max_action_depth << L"; "
                << ident << L" and others not run";
        action_limit_reported = true;
        return false;
    }
    return true;
}

// --- Questions and requests to the host --------------------------------------

// Asks the host for a date, proposing `date`; the answer replaces it.
// Answers false when the host hands out no parameter list.
bool ask_date(Interaction_if* host, SYSTEMTIME& date) {
    Param::Owned_parameters list = Param::create(host);
    if (!list) {
        Trace::error("ask_date") << "the host gave no parameter list; nothing asked";
        return false;
    }
    Param::write_u16(list.get(), L"day", date.wDay);
    Param::write_u16(list.get(), L"month", date.wMonth);
    Param::write_u16(list.get(), L"year", date.wYear);
    Param::send(host, L"ask_date", list.get());
    const int year = Param::read_u16(list.get(), L"year", 1970);
    const int month = Param::read_u16(list.get(), L"month", 1);
    const int day = Param::read_u16(list.get(), L"day", 1);
    date = valid_date(year, month, day);
    if (date.wYear != year || date.wMonth != month || date.wDay != day)
        Trace::error("ask_date") << L"the answer " << year << L"-" << month << L"-" << day
                                 << L" is no date; using " << date.wYear << L"-" << date.wMonth
                                 << L"-" << date.wDay;
    return true;
}

// Asks the host for a text; false when it hands out no parameter list.
bool ask_text(Interaction_if* host, const std::wstring& title, std::wstring& answer) {
    Param::Owned_parameters list = Param::create(host);
    if (!list) {
        Trace::error("Typing_expander::ask")
            << L"the host gave no parameter list; the placeholder gives its argument";
        return false;
    }
    Param::write_text(list.get(), L"title", title.empty() ? L"Text" : title);
    Param::send(host, L"ask_text", list.get());
    answer = Param::read_text(list.get(), L"text");
    return true;
}

// The stored image folder, or `pictures` when the store has none (then stored).
std::wstring image_folder(Interaction_if* host, const std::wstring& pictures) {
    try {
        return KVStore::read_with_default(host, L"WE_default_image_path", pictures);
    } catch (const std::exception& e) {
        Trace::error("Typing_expander::image")
            << L"image folder: " << e.what() << L"; using " << pictures;
        return pictures;
    }
}

// Asks the host to run the action `ident`, counting it against this text's budget.
void run_action(Interaction_if* host, const std::wstring& ident) {
    Param::Owned_parameters list = Param::create(host);
    if (!list) {
        Trace::error("Typing_expander::action")
            << L"the host gave no parameter list; " << ident << L" not run";
        return;
    }
    Param::write_text(list.get(), L"request", L"execute");
    Param::write_u32(list.get(), L"deactivate", 0);
    Param::write_text(list.get(), L"vq_default_action_handler", ident);
    --action_runs_left;
    Depth_guard depth;
    Param::send(host, L"vq_default_action_handler", list.get());
}

} // namespace

Typing_expander::Typing_expander(Interaction_if* host, Typing_environment& environment,
                                 Clipboard_text_source& clipboard, Inserted_text inserted)
    : host_(host), environment_(environment), clipboard_(clipboard), inserted_(inserted) {}

Typing_expander::~Typing_expander() = default;

const Typing_command* Typing_expander::find_command(const std::wstring& name) {
    // Key elements in text from outside the code would press keys the user
    // never wrote: a web page can put "\x02" "5b" (hold the Windows key) on
    // the clipboard.
    static const Typing_command commands[] = {
        {L"clipboard", &Typing_expander::on_clipboard, true},
        {L"selection", &Typing_expander::on_selection, true},
        {L"time", &Typing_expander::on_time, false},
        {L"key", &Typing_expander::on_key, false},
        {L"key_down", &Typing_expander::on_key_down, false},
        {L"key_up", &Typing_expander::on_key_up, false},
        {L"sleep", &Typing_expander::on_sleep, false},
        {L"open", &Typing_expander::on_open, false},
        {L"title", &Typing_expander::on_title, true},
        {L"link", &Typing_expander::on_link, false},
        {L"image", &Typing_expander::on_image, false},
        {L"var", &Typing_expander::on_var, true},
        {L"action", &Typing_expander::on_action, true},
        {L"date", &Typing_expander::on_date, false},
        {L"ask", &Typing_expander::on_ask, true},
    };
    for (const Typing_command& command : commands)
        if (name == command.name)
            return &command;
    return nullptr;
}

std::wstring Typing_expander::on_clipboard(const std::wstring& argument) {
    return filtered(clipboard_.clipboard_text(), argument);
}

std::wstring Typing_expander::on_selection(const std::wstring& argument) {
    return filtered(environment_.selection_text(), argument);
}

std::wstring Typing_expander::on_time(const std::wstring& argument) {
    const Time_argument parsed = parse_time_argument(argument, L"hh':'mm':'ss");
    return format_time(shifted(environment_.local_time(), parsed), parsed.format);
}

std::wstring Typing_expander::on_date(const std::wstring& argument) {
    const bool ask = starts_with(argument, L"(ask)");
    const Time_argument parsed =
        parse_time_argument(ask ? argument.substr(5) : argument, L"yyyy-MM-dd");
    SYSTEMTIME date = shifted(environment_.local_time(), parsed);
    if (ask)
        ask_date(host_, date);
    return format_date(date, parsed.format);
}

std::wstring Typing_expander::on_key(const std::wstring& argument) {
    return Typing_language::key_sequence(Typing_language::lower_case(argument));
}

std::wstring Typing_expander::on_key_down(const std::wstring& argument) {
    return key_text(argument, Typing_data::key_down);
}

std::wstring Typing_expander::on_key_up(const std::wstring& argument) {
    return key_text(argument, Typing_data::key_up);
}

std::wstring Typing_expander::on_sleep(const std::wstring& argument) {
    return Typing_language::sleep_element(argument);
}

std::wstring Typing_expander::on_open(const std::wstring& argument) {
    if (!argument.empty())
        environment_.open(argument);
    return {};
}

std::wstring Typing_expander::on_title(const std::wstring& argument) {
    const std::wstring title = environment_.foreground_window_title();
    return argument.empty() ? title : Regex_filter::join_matches(title, argument);
}

std::wstring Typing_expander::on_link(const std::wstring& argument) {
    return link_of(argument);
}

std::wstring Typing_expander::on_image(const std::wstring& argument) {
    if (is_image_reference(argument))
        return Typing_data::image_record(argument);
    std::wstring path = join_path(image_folder(host_, environment_.pictures_folder()), argument);
    if (!has_extension(path)) {
        const std::wstring found = find_with_extension(path);
        if (!found.empty())
            path = found;
        else
            Trace::info("Typing_expander::image") << L"no file " << path << L".*";
    }
    return Typing_data::image_record(path);
}

std::wstring Typing_expander::on_var(const std::wstring& argument) {
    const std::wstring key = L"we_var_" + Typing_language::lower_case(argument);
    try {
        return KVStore::read(host_, key);
    } catch (const std::exception& e) {
        Trace::error("Typing_expander::var") << key << L": " << e.what();
        return {};
    }
}

std::wstring Typing_expander::on_action(const std::wstring& argument) {
    const std::wstring ident = Typing_language::lower_case(argument);
    if (action_allowed(ident))
        run_action(host_, ident);
    return {};
}

std::wstring Typing_expander::on_ask(const std::wstring& argument) {
    const Question question = parse_question(argument);
    if (question.kind == L"text") {
        std::wstring answer;
        return ask_text(host_, question.title, answer) ? answer : argument;
    }
    if (question.kind == L"date") {
        SYSTEMTIME date = environment_.local_time();
        return ask_date(host_, date) ? format_date(date, L"dd.MM.yyyy") : argument;
    }
    return argument;
}

bool Typing_expander::evaluate(const std::wstring& placeholder, std::wstring& result) {
    bool outside = false;
    return evaluate(placeholder, result, outside);
}

bool Typing_expander::evaluate(const std::wstring& placeholder, std::wstring& result,
                               bool& outside) {
    if (placeholder.size() < 2)
        return false;
    const Placeholder_parts parts = split_placeholder(placeholder);
    const Typing_command* command = find_command(parts.name);
    if (!command)
        return false;
    result = (this->*command->execute)(parts.argument);
    outside = command->outside_text;
    if (command->outside_text) {
        if (inserted_ == Inserted_text::plain)
            result = Typing_language::without_element_markers(result);
        result.erase(std::remove(result.begin(), result.end(), cursor_mark), result.end());
    }
    return true;
}

std::wstring Typing_expander::expand(const std::wstring& text) {
    // A text expanded outside any "action" placeholder starts a new budget.
    if (action_depth == 0) {
        action_runs_left = Typing_language::max_action_runs;
        action_limit_reported = false;
    }
    const std::vector<Placeholder_span> spans = find_placeholders(text);
    if (spans.empty())
        return Typing_language::drop_break_after_shift_return(text);
    // Evaluated last to first (questions and nested actions run in that
    // order); the results are put together in one pass afterwards, because
    // replacing them one by one in the growing text would be quadratic.
    std::vector<std::wstring> results(spans.size());
    std::vector<char> answered(spans.size(), 0);
    std::vector<char> outside(spans.size(), 0);
    // The user's own cursor marker, in the top-level code only: the first
    // "{|}", failing that the first "{cursor}". Marked here, before any text
    // from outside is put in, so that none of that text can move the caret.
    std::optional<std::size_t> marker;
    if (action_depth == 0) {
        for (const wchar_t* written : {L"{|}", L"{cursor}"}) {
            for (std::size_t i = 0; i < spans.size() && !marker; ++i)
                if (text.compare(spans[i].begin, spans[i].end - spans[i].begin, written) == 0)
                    marker = i;
            if (marker)
                break;
        }
    }
    for (std::size_t i = spans.size(); i-- > 0;) {
        const Placeholder_span& span = spans[i];
        if (marker && i == *marker) {
            results[i] = std::wstring(1, cursor_mark);
            answered[i] = 1;
            continue;
        }
        const std::wstring placeholder = text.substr(span.begin, span.end - span.begin);
        try {
            bool from_outside = false;
            answered[i] = evaluate(placeholder, results[i], from_outside) ? 1 : 0;
            outside[i] = from_outside ? 1 : 0;
        } catch (const std::exception& e) {
            Trace::error("Typing_expander::expand")
                << placeholder.substr(0, 200) << L" stays as written: " << e.what();
            answered[i] = 0;
        }
    }
    std::wstring out;
    std::size_t total = text.size();
    for (std::size_t i = 0; i < spans.size(); ++i)
        if (answered[i])
            total += results[i].size();
    out.reserve(total);
    std::vector<Placeholder_span> inserted; // where text from outside landed in `out`
    std::size_t copied = 0;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (!answered[i])
            continue;
        out.append(text, copied, spans[i].begin - copied);
        if (outside[i] && !results[i].empty())
            inserted.push_back({out.size(), out.size() + results[i].size()});
        out += results[i];
        copied = spans[i].end;
    }
    out.append(text, copied, std::wstring::npos);
    return Typing_language::drop_break_after_shift_return(out, inserted);
}

Expansion_result render_code(Interaction_if* host, Typing_environment* environment,
                             const std::wstring& code, Inserted_text inserted) {
    System_environment system;
    Typing_environment& used = environment ? *environment : system;
    return expand_text(
        [&](Clipboard_text_source& source, const std::wstring& text) {
            Typing_expander expander(host, used, source, inserted);
            return expander.expand(text);
        },
        code, true);
}
