#include "text/textprovider.h"

#include "contract/text_convert.h"
#include "contract/win32_text.h"
#include "storage/sqlite_layer.h"
#include "trace/trace.h"

#include <sqlite3.h>

#include <cwchar>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string_view>

namespace {

using Translations = std::map<std::wstring, std::wstring, std::less<>>;

// Prepares a statement of the provider; failures are traced here.
Statement prepare(sqlite3* db, const std::wstring& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare16_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK)
        return Statement(statement);
    sqlite3_finalize(statement);
    Trace::error("prepare_statement")
        << static_cast<const wchar_t*>(sqlite3_errmsg16(db)) << L" in: " << sql;
    return Statement();
}

std::wstring column_string(sqlite3_stmt* statement, int column) {
    Text_view view = SQLite::column_text(statement, column);
    return view.text ? std::wstring(view.text, view.length) : std::wstring();
}

// The translation file is only ever read: opening it read-only means a
// missing file is not created and no statement can change it.
Connection open_read_only(const std::wstring& path) {
    if (path.empty())
        return nullptr;
    std::wstring error;
    return SQLite::open_read_only(path, error);
}

// A table name goes into the statement as a quoted identifier, so no
// language text can end the name and add SQL of its own.
std::wstring quoted_identifier(const std::wstring& name) {
    std::wstring quoted = L"\"";
    for (wchar_t c : name) {
        if (c == L'"')
            quoted += L'"';
        quoted += c;
    }
    return quoted + L"\"";
}

class Textprovider_impl final : public Textprovider {
public:
    std::wstring get_language() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return language_;
    }

    void set_language(HMODULE module, const std::wstring& language) override {
        set_language_from_file(translation_file_path(module), language);
    }

    void set_language(HMODULE module, const wchar_t* language, std::size_t length) override {
        set_language(module, language ? std::wstring(language, length) : std::wstring());
    }

    void set_language_from_file(const std::wstring& path, const std::wstring& language) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            path_ = path;
            retire_translations();
        }
        Connection db = open_read_only(path);
        if (!db) {
            Trace::error("Textprovider::set_language")
                << L"Translation file could not be opened: '" << path << L"'; texts stay English";
            return;
        }
        std::wstring resolved = resolve(db.get(), language);
        if (resolved == L"base_lang") {
            std::lock_guard<std::mutex> lock(mutex_);
            language_ = resolved;
            return;
        }
        Statement statement =
            prepare(db.get(), L"SELECT base_lang.text, dest.text, word_id FROM base_lang JOIN " +
                                  quoted_identifier(resolved) + L" AS dest USING (word_id);");
        if (!statement) {
            Trace::error("Textprovider::set_language")
                << L"Text_provider statement error for " << path;
            return;
        }
        Translations loaded;
        int result;
        while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
            Text_view english = SQLite::column_text(statement.get(), 0);
            Text_view shown = SQLite::column_text(statement.get(), 1);
            if (english.text && shown.text)
                loaded.insert_or_assign(std::wstring(english.text, english.length),
                                        std::wstring(shown.text, shown.length));
        }
        if (result != SQLITE_DONE) {
            // Half a language is worse than a consistent English interface.
            Trace::error("Textprovider::set_language")
                << L"Reading language '" << resolved << L"' from " << path << L" failed: "
                << static_cast<const wchar_t*>(sqlite3_errmsg16(db.get()));
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        translations_ = std::move(loaded);
        language_ = resolved;
    }

    void get_language_list(std::vector<std::wstring>& list) override {
        Connection db = open_stored("Textprovider::get_language_list");
        if (!db)
            return;
        Statement statement = prepare(db.get(), L"SELECT value FROM meta WHERE key='language';");
        if (!statement)
            return;
        while (sqlite3_step(statement.get()) == SQLITE_ROW) {
            Text_view value = SQLite::column_text(statement.get(), 0);
            if (value.text)
                list.emplace_back(value.text, value.length);
        }
    }

    const wchar_t* get_string(const wchar_t* english) override {
        if (!english) {
            Trace::error("Textprovider::get_string") << "No text given";
            return L"";
        }
        std::wstring_view key(english);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto found = translations_.find(key);
            if (found != translations_.end())
                return found->second.c_str();
            // Stored as its own translation: reported once per language.
            translations_.emplace(std::wstring(key), std::wstring(key));
        }
        Trace::error("Textprovider::get_string") << L"No translation for: '" << english << L"'";
        return english;
    }

    void get_language_name(const std::wstring& code, std::wstring& name) override {
        name = code;
        Connection db = open_stored("Textprovider::get_language_name");
        if (!db)
            return;
        Statement statement =
            prepare(db.get(), L"SELECT key FROM meta WHERE value=?1 AND key<>'language';");
        if (!statement || !SQLite::bind_string(statement.get(), 1, code.c_str(), code.size()))
            return;
        while (sqlite3_step(statement.get()) == SQLITE_ROW)
            name = column_string(statement.get(), 0);
    }

    void get_language_code(const std::wstring& name, std::wstring& code) override {
        code = name;
        Connection db = open_stored("Textprovider::get_language_code");
        if (!db)
            return;
        Statement statement =
            prepare(db.get(), L"SELECT value FROM meta WHERE key=?1 AND key<>'language';");
        if (!statement || !SQLite::bind_string(statement.get(), 1, name.c_str(), name.size()))
            return;
        if (sqlite3_step(statement.get()) == SQLITE_ROW)
            code = column_string(statement.get(), 0);
    }

private:
    // A display name ("Deutsch") or a code ("de") gives the code; LIKE makes
    // the name match without regard to ASCII case. The text is bound, never
    // pasted into the statement.
    std::wstring resolve(sqlite3* db, const std::wstring& language) {
        if (language.empty())
            return L"base_lang";
        Statement statement = prepare(db, L"SELECT value FROM meta WHERE key LIKE ?1;");
        if (!statement ||
            !SQLite::bind_string(statement.get(), 1, language.c_str(), language.size()))
            return language;
        if (sqlite3_step(statement.get()) == SQLITE_ROW) {
            Text_view value = SQLite::column_text(statement.get(), 0);
            if (value.text)
                return std::wstring(value.text, value.length);
        }
        return language;
    }

    Connection open_stored(const char* function) {
        std::wstring path;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            path = path_;
        }
        if (path.empty())
            return nullptr;
        Connection db = open_read_only(path);
        if (!db)
            Trace::error(function) << L"Database could not be opened from path " << path;
        return db;
    }

    // Pointers handed out by get_string point into the table; an old table
    // is kept rather than freed so that a text shown while the language
    // changes never dangles. Language changes are rare and tables small.
    void retire_translations() {
        if (!translations_.empty())
            retired_.push_back(std::move(translations_));
        translations_.clear();
    }

    mutable std::mutex mutex_;
    std::wstring path_;
    std::wstring language_;
    Translations translations_;
    std::list<Translations> retired_;
};

} // namespace

std::wstring translation_file_path(HMODULE module) {
    const std::wstring path = module_file_path(module);
    return path.empty() ? path : with_extension(path, L".lng");
}

std::unique_ptr<Textprovider> make_textprovider() {
    return std::make_unique<Textprovider_impl>();
}

Textprovider& text_provider() {
    static Textprovider_impl provider;
    return provider;
}
