// Typing data on the host side: decoding, the visible form, the key events
// that SendInput gets, and real typing into the target application.
#include "host/reference_host.h"
#include "host/send_input_typist.h"
#include "host/typing_decoder.h"

#include "contract/parameter_values.h"
#include "target_client.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One event as the tests compare it.
struct Event {
    bool unicode;
    WORD code; // character or virtual key
    bool down;
    bool extended;
    bool operator==(const Event& o) const {
        return unicode == o.unicode && code == o.code && down == o.down && extended == o.extended;
    }
};
std::ostream& operator<<(std::ostream& out, const Event& e) {
    return out << (e.unicode ? "char " : "vk ") << e.code << (e.down ? " down" : " up")
               << (e.extended ? " ext" : "");
}

struct Recorder {
    std::vector<std::vector<Event>> batches;
    std::vector<unsigned int> sleeps;
    std::vector<std::string> order; // "send" / "sleep"
    UINT accept_short = 0;          // > 0: the next send inserts only this many
    Send_input_typist typist{
        [this](const std::vector<INPUT>& inputs) {
            std::vector<Event> batch;
            for (const auto& in : inputs) {
                EXPECT_EQ(in.type, static_cast<DWORD>(INPUT_KEYBOARD));
                const bool unicode = in.ki.dwFlags & KEYEVENTF_UNICODE;
                batch.push_back({unicode, unicode ? in.ki.wScan : in.ki.wVk,
                                 !(in.ki.dwFlags & KEYEVENTF_KEYUP),
                                 (in.ki.dwFlags & KEYEVENTF_EXTENDEDKEY) != 0});
            }
            batches.push_back(batch);
            order.push_back("send");
            UINT result = accept_short ? accept_short : static_cast<UINT>(inputs.size());
            accept_short = 0;
            return result;
        },
        [this](unsigned int ms) {
            sleeps.push_back(ms);
            order.push_back("sleep");
        }};
};

Event ch(wchar_t c, bool down) {
    return {true, static_cast<WORD>(c), down, false};
}
Event vk(WORD code, bool down, bool extended = false) {
    return {false, code, down, extended};
}

} // namespace

// Every element kind, then malformed ones: a bad element shows as invalid and
// the characters after it are kept.
TEST(Typing_decoder, decodes_elements) {
    const struct {
        std::wstring data;
        std::wstring visible;
    } rows[] = {
        {L"ab\x0001"
         L"25\x0002"
         L"10X\x0003"
         L"10z",
         L"ab<press 25><down 10>X<up 10>z"},
        {L"\x0004 1f4\x0004   0", L"<pause 500><pause 0>"},
        {L"\x0005L00000003|00000002urlhi\x0005I00000005p.png", L"<link url|hi><image p.png>"},
        // Upper-case hex digits from another producer read the same; 0xff stays 8 bits.
        {L"\x0001"
         L"FF\x0002"
         L"2E",
         L"<press ff><down 2e>"},
        {L"a<b\tc\r\nd\x0007", L"a<lt>b<tab>c<return><newline>d<U+0007>"},
        {L"a\x0001"
         L"2",
         L"a<invalid U+0001>2"},
        {L"\x0002g1x", L"<invalid U+0002>g1x"},
        {L"\x0004    y", L"<invalid U+0004>    y"},
        {L"\x0004 1 4", L"<invalid U+0004> 1 4"},
        {L"\x0005I00000009ab", L"<invalid U+0005>I00000009ab"},
        {L"\x0005L00000001-00000001ab", L"<invalid U+0005>L00000001-00000001ab"},
        {L"\x0005Q", L"<invalid U+0005>Q"},
        {L"\x0005", L"<invalid U+0005>"},
        // A record that ends exactly at the end of the data is whole.
        {L"\x0005I00000002ab", L"<image ab>"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Typing_decoder::visible_form(row.data), row.visible);
    const auto elements = Typing_decoder::decode(L"\x0005L00000001|00000000u");
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_EQ(Typing_decoder::record_text(elements[0]), L"u");
}

TEST(Send_input_typist, sends_unicode_characters_virtual_keys_and_sleeps_in_order) {
    Recorder r;
    const std::wstring data = std::wstring(L"h\x00e9\r\nx\ty") +
                              L"\x0001"
                              L"25" +
                              L"\x0004"
                              L"  64" +
                              L"\x0002"
                              L"11"
                              L"\x0001"
                              L"2e" +
                              L"\x0003"
                              L"11" +
                              L"\x0005"
                              L"L00000001|00000001"
                              L"ab" +
                              L"\n";
    EXPECT_TRUE(r.typist.type(data));
    EXPECT_EQ(r.order, (std::vector<std::string>{"send", "sleep", "send"}));
    EXPECT_EQ(r.sleeps, (std::vector<unsigned int>{100}));
    ASSERT_EQ(r.batches.size(), 2u);
    const std::vector<Event> first = {
        ch(L'h', true), ch(L'h', false), ch(0xE9, true), ch(0xE9, false),
        // CR LF is one Return; a tab is the Tab key
        vk(VK_RETURN, true), vk(VK_RETURN, false), ch(L'x', true), ch(L'x', false),
        vk(VK_TAB, true), vk(VK_TAB, false), ch(L'y', true), ch(L'y', false),
        // Left is an extended key: without the flag it is the keypad's 4
        vk(VK_LEFT, true, true), vk(VK_LEFT, false, true)};
    EXPECT_EQ(r.batches[0], first);
    const std::vector<Event> second = {vk(VK_CONTROL, true),
                                       vk(VK_DELETE, true, true),
                                       vk(VK_DELETE, false, true),
                                       vk(VK_CONTROL, false),
                                       ch(L'a', true),
                                       ch(L'a', false),
                                       ch(L' ', true),
                                       ch(L' ', false),
                                       ch(L'(', true),
                                       ch(L'(', false),
                                       ch(L'b', true),
                                       ch(L'b', false),
                                       ch(L')', true),
                                       ch(L')', false),
                                       vk(VK_RETURN, true),
                                       vk(VK_RETURN, false)};
    EXPECT_EQ(r.batches[1], second);
}

TEST(Send_input_typist, releases_held_keys_and_reports_short_sends) {
    Recorder r;
    // Shift and Control pressed, only Control released: Shift must not stay down.
    EXPECT_TRUE(r.typist.type(std::wstring(L"\x0002"
                                           L"10\x0002"
                                           L"11a\x0003"
                                           L"11")));
    ASSERT_EQ(r.batches.size(), 1u);
    EXPECT_EQ(r.batches[0].back(), vk(VK_SHIFT, false));
    EXPECT_EQ(r.batches[0].size(), 6u);

    Recorder blocked;
    blocked.accept_short = 1;
    EXPECT_FALSE(blocked.typist.type(L"abc"));
    // Nothing to send: no call at all.
    Recorder empty;
    EXPECT_TRUE(empty.typist.type(L""));
    EXPECT_TRUE(empty.batches.empty());
    // Only a malformed element: nothing typed, still a defined result.
    EXPECT_TRUE(empty.typist.type(L"\x0001"
                                  L"z"));
    ASSERT_EQ(empty.batches.size(), 1u);
    EXPECT_EQ(empty.batches[0], (std::vector<Event>{ch(L'z', true), ch(L'z', false)}));
}

TEST(Send_input_typist, types_into_the_target_application) {
    Target_app target;
    ASSERT_TRUE(target.start());
    ASSERT_TRUE(target.set_text(Target_app::Control::edit, L""));
    ASSERT_TRUE(target.activate());

    Reference_host host;
    Send_input_typist typist;
    host.set_typist(&typist);
    auto list = Reference_host::make_list();
    // "abc", a pause, Back, "d", Left, "e", and a link record as its text.
    Param::write_text(list.get(), L"typing_data",
                      std::wstring(L"abc") +
                          L"\x0004"
                          L"  c8" +
                          L"\x0001"
                          L"08" +
                          L"d" +
                          L"\x0001"
                          L"25" +
                          L"e\x0001"
                          L"23" +
                          L"\x0005"
                          L"L00000001|00000000" +
                          L"\x00fc");
    EXPECT_EQ(host.send(L"vq_keyboard_write", 17, list.get()), 1);
    // SendInput returns when the events are queued: wait for the target to read them.
    std::wstring text;
    for (int i = 0; i < 100; ++i) {
        text = target.text(Target_app::Control::edit);
        if (text.size() >= 5)
            break;
        Sleep(50);
    }
    EXPECT_EQ(text, L"abed\x00fc");
    EXPECT_EQ(host.typed_texts().size(), 1u);
}
