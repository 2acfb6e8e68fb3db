// The keyboard listener for direct bindings and typed abbreviations. The
// host calls key_event on its keyboard-hook thread, so it must answer at
// once: it reads immutable snapshots (the listener map, the abbreviations)
// and hands every release, abbreviation match and held key to the
// listener's own worker thread through a queue, in order. On the hook's
// thread nothing starts a thread, calls the host or waits for a slow path.
//
// The map is replaced on another thread (reload). A replacement is built
// completely first and then swapped in under a lock held only for the
// pointer copy, on both sides, so the hook never waits while the database is
// read or written. Keys without any binding are rejected through an atomic
// flag per virtual key, without the lock and without allocating.
#pragma once

#include "actions/abbreviation_matcher.h"
#include "actions/running_tasks.h"
#include "contract/host_interface.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct Listener_entry {
    std::uint16_t code; // virtual key and modifier bits
    std::uint16_t high; // the high 16 bits of the binding (bit 16: direct)
    std::wstring ident;
};

// Virtual key -> entries, in the order the bindings were added.
using Listener_map = std::map<std::uint32_t, std::vector<Listener_entry>>;

// The first entry of the key whose 16-bit code is `code`; null when none.
const Listener_entry* find_entry(const Listener_map& map, std::uint32_t virtual_key,
                                 std::uint32_t code);

class Shortcut_listener final : public Keyboard_listener {
public:
    Shortcut_listener(Interaction_if* host, Running_tasks& tasks);
    ~Shortcut_listener();
    Shortcut_listener(const Shortcut_listener&) = delete;
    Shortcut_listener& operator=(const Shortcut_listener&) = delete;

    void* destroy(unsigned int flags) override;
    bool key_event(const KBDLLHOOKSTRUCT* event, unsigned int modifiers) override;

    // A press remembered under the old map whose combination the new one
    // no longer binds is dropped: its release runs nothing. (A press whose
    // binding stays may outlive a withdrawal of the listener, as in a
    // restore: the next press of that key either repeats that very
    // combination or, with other modifiers, starts a new stroke.)
    void replace(Listener_map map);
    std::shared_ptr<const Listener_map> snapshot() const;
    // The typed abbreviations and the excluded applications (image-name
    // patterns with * and ?, case-blind), swapped in like the map.
    void replace_abbreviations(const std::vector<Abbreviation_record>& abbreviations,
                               const std::vector<std::wstring>& excluded);

    // A withdrawn listener may still be inside key_event on the hook's
    // thread when its owner goes: it is kept, answering false, until the
    // plug-in ends (free_retired, from finalize). Its worker hands over what
    // was queued and ends at the retirement.
    static void retire(std::unique_ptr<Shortcut_listener> listener);
    static void free_retired();

private:
    // Beside the 16-bit code (Key_code::low_mask) in swallowed_: whether the
    // press's binding is gone, and the mark that a press is remembered at all.
    static constexpr std::uint32_t stale_mark = 0x40000000u;
    static constexpr std::uint32_t pressed_mark = 0x80000000u;

    void mark_stale(std::size_t key);

    bool handle_key(const KBDLLHOOKSTRUCT* event, unsigned int modifiers);
    // The direct bindings: true when the event is swallowed for one.
    bool direct_binding(const KBDLLHOOKSTRUCT* event, unsigned int modifiers);

    // What the hook hands to the worker: a release (entry, kept alive by
    // its map) or an abbreviation run (match, ticket; a held key is a match
    // with only `typed`).
    struct Hand_over {
        std::shared_ptr<const Listener_map> map;
        const Listener_entry* entry = nullptr;
        std::uint32_t code = 0;
        Abbreviation_match match;
        std::uint64_t ticket = 0;
    };
    // Hook thread: queues the item and announces its run to tasks_; false
    // once the worker has ended.
    bool hand_over(Hand_over item);
    // Worker thread: takes the queue in order and starts each run.
    void work();
    void start_release(const Hand_over& item);
    void start_abbreviation(Hand_over& item);
    void stop_worker();

    struct Abbreviation_state {
        Abbreviation_set set;
        std::vector<std::wstring> excluded;
        std::uint64_t generation; // tells a new state from a freed one at its address
    };
    std::shared_ptr<const Abbreviation_state> abbreviation_state() const;
    // Tracks modifiers from the events; true when the event was a modifier.
    bool track_modifier(const KBDLLHOOKSTRUCT* event);
    // Follows the foreground window and the focused control (an excluded
    // application, a password edit, a caret moved without a key);
    // `expanding`: an expansion is being typed.
    void follow_focus(const Abbreviation_state& state, bool expanding);
    // The characters of a press, once translated.
    struct Key_text {
        static constexpr int room = 8;
        wchar_t characters[room];
        int count = 0; // negative: a dead key
        bool translated = false;
    };
    // The one path from a non-modifier press to the matcher, for typed and
    // held keys: true when an abbreviation now ends at the tail (`match`).
    // `text` gets the key's characters when they were needed.
    bool feed_matcher(const KBDLLHOOKSTRUCT* event, const Abbreviation_state& state, Key_text& text,
                      Abbreviation_match& match);
    // A non-modifier press: feeds the matcher; true when it fired (swallow).
    bool typed_key(const KBDLLHOOKSTRUCT* event, const Abbreviation_state& state);
    void dispatch_abbreviation(Abbreviation_match match);
    bool replacing() const;
    // A press while an expansion is under way: held for the host's typing
    // after it, or run as the abbreviation it completes; true (swallow)
    // unless it passes (a combination, a dead key).
    bool hold_key(const KBDLLHOOKSTRUCT* event, const Abbreviation_state& state);
    // The characters of a press: a Unicode packet's code unit, or translate.
    int characters_of(const KBDLLHOOKSTRUCT* event, wchar_t* characters, int capacity) const;

public:
    // The characters a press gives in the foreground window's layout with
    // the modifiers tracked so far (negative: a dead key). Exposed for the
    // benchmark, which times it alone.
    int translate(const KBDLLHOOKSTRUCT* event, wchar_t* characters, int capacity) const;

private:
    Interaction_if* host_;
    Running_tasks& tasks_;
    mutable std::mutex map_mutex_; // guards the two pointers only
    std::shared_ptr<const Listener_map> map_;
    // The snapshots before the last swap, kept until the next one: a key
    // event that took one just before a swap then never frees a whole map
    // on the hook's thread. (Replacing thread only.)
    std::shared_ptr<const Listener_map> previous_map_;
    std::array<std::atomic<bool>, 256> bound_{};
    std::atomic<bool> retired_{false};
    // Per virtual key: the code of the press that was swallowed, with
    // pressed_mark; 0 when the key's press went through or was released.
    std::array<std::atomic<std::uint32_t>, 256> swallowed_{};

    std::shared_ptr<const Abbreviation_state> abbreviations_;
    std::shared_ptr<const Abbreviation_state> previous_abbreviations_;
    // Abbreviation runs take turns in the order they were typed, so that two
    // typed quickly are written in that order.
    struct Turns {
        std::mutex mutex;
        std::condition_variable changed;
        std::uint64_t serving = 0;
        // Runs started and not yet ended, and when the last one ended.
        std::atomic<int> pending{0};
        std::atomic<unsigned long> last_done{0};
        void finish(std::uint64_t ticket);
    };
    std::shared_ptr<Turns> turns_ = std::make_shared<Turns>();
    std::uint64_t next_ticket_ = 0; // hook thread only
    // Owned by the hook thread (key_event is called on it only).
    Abbreviation_matcher matcher_;
    std::array<bool, 256> held_{};            // modifier keys down
    std::array<bool, 256> final_swallowed_{}; // the release of a firing key
    bool caps_lock_ = false;
    bool caps_known_ = false;
    bool dead_key_pending_ = false;
    void* foreground_ = nullptr;
    void* focus_ = nullptr;
    unsigned long foreground_thread_ = 0;
    bool own_foreground_ = false; // a window of this process, e.g. a question
    void* caret_window_ = nullptr;
    long caret_left_ = 0;
    long caret_top_ = 0;
    bool caret_may_go_back_ = false;
    unsigned long last_injected_ = 0;
    static constexpr unsigned long replacing_grace_ms = 150;
    std::uint64_t judged_generation_ = ~std::uint64_t{0};
    bool excluded_app_ = false;
    bool password_ = false;

    // The hand-over queue. Its mutex is held only to push (hook) or to swap
    // the queue out (worker); both vectors keep their capacity, so a push
    // allocates only when a burst is longer than any before.
    static constexpr std::size_t queue_reserve = 64;
    std::mutex queue_mutex_;
    std::condition_variable queue_changed_;
    std::vector<Hand_over> queued_;
    bool stopping_ = false;
    bool worker_waiting_ = false;
    std::thread worker_; // last: starts when everything above exists
};

// Whether an executable's file name matches a pattern with * and ?, case-blind.
bool matches_image_pattern(const std::wstring& pattern, const std::wstring& name);
