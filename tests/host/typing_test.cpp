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

// Records what SendInput would get as one line: a character as itself, a
// virtual key as #hex (x: extended), + down, - up; batches and sleeps between.
struct Recorder {
    std::wstring log;
    UINT accept_short = 0; // > 0: the next send inserts only this many
    Send_input_typist typist{[this](const std::vector<INPUT>& inputs) {
                                 log += L"[";
                                 for (const auto& in : inputs) {
                                     const DWORD f = in.ki.dwFlags;
                                     wchar_t vk[8];
                                     swprintf(vk, 8, L"#%x", in.ki.wVk);
                                     log += (f & KEYEVENTF_UNICODE) ? std::wstring(1, in.ki.wScan)
                                                                    : std::wstring(vk);
                                     log += (f & KEYEVENTF_EXTENDEDKEY) ? L"x" : L"";
                                     log += (f & KEYEVENTF_KEYUP) ? L"-" : L"+";
                                 }
                                 log += L"]";
                                 UINT sent = accept_short ? accept_short : inputs.size();
                                 accept_short = 0;
                                 return sent;
                             },
                             [this](unsigned int ms) { log += L"sleep" + std::to_wstring(ms); }};
};

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
    const struct {
        std::wstring data, log;
    } rows[] = {
        // CR LF is one Return, a tab the Tab key; Left is extended (else keypad 4).
        {L"h\x00e9\r\nx\ty\x0001"
         L"25\x0004  64",
         L"[h+h-\x00e9+\x00e9-#d+#d-x+x-#9+#9-y+y-#25x+#25x-]sleep100"},
        {L"\x0002"
         L"11\x0001"
         L"2e\x0003"
         L"11\x0005L00000001|00000001ab\n",
         L"[#11+#2ex+#2ex-#11-a+a- + -(+(-b+b-)+)-#d+#d-]"},
        // Shift and Control pressed, only Control released: Shift must not stay down.
        {L"\x0002"
         L"10\x0002"
         L"11a\x0003"
         L"11",
         L"[#10+#11+a+a-#11-#10-]"},
    };
    for (const auto& row : rows) {
        Recorder r;
        EXPECT_TRUE(r.typist.type(row.data));
        EXPECT_EQ(r.log, row.log);
    }
    Recorder blocked;
    blocked.accept_short = 1;
    EXPECT_FALSE(blocked.typist.type(L"abc"));
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
                      L"abc\x0004  c8\x0001"
                      L"08d\x0001"
                      L"25e\x0001"
                      L"23\x0005L00000001|00000000\x00fc");
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
