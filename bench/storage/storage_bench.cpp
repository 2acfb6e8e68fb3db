// Reads through the storage classes and the text provider, each beside a
// bare loop doing the same reads with the SQLite C API or a std::map,
// measured in the same run. Prints the figures and their ratio.
#include "bench/bench_support.h"
#include "contract/text_convert.h"
#include "storage/code_storage.h"
#include "storage/shortcut_database.h"
#include "storage/sqlite_layer.h"
#include "text/textprovider.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int code_rows = 10000;
constexpr int binding_rows = 10000;
constexpr int word_count = 1000;

using Bench::measure;
using Bench::sink;

void report(const char* what, double ours, const char* baseline, double bare) {
    std::printf("%-46s %10.3f ms   %-34s %10.3f ms   ratio %5.2f\n", what, ours, baseline, bare,
                ours / bare);
}

Connection open_db(const std::wstring& path) {
    sqlite3* raw = nullptr;
    sqlite3_open16(path.c_str(), &raw);
    return Connection(raw);
}

Statement prepare(sqlite3* db, const wchar_t* sql) {
    return SQLite::prepare_statement(db, sql, std::wcslen(sql));
}

std::wstring text_of(sqlite3_stmt* statement, int column) {
    const wchar_t* text = static_cast<const wchar_t*>(sqlite3_column_text16(statement, column));
    return text ? std::wstring(text) : std::wstring();
}

std::wstring ident_of(int i) {
    return L"zp_" + std::to_wstring(i) + L"_user_id";
}

class Counting_visitor : public Code_row_visitor {
public:
    void visit(const wchar_t* ident, const wchar_t* name, const wchar_t* description,
               const wchar_t* category) override {
        for (const wchar_t* text : {ident, name, description, category})
            total += text ? std::wcslen(text) : 0;
    }
    std::size_t total = 0;
};

void fill_code_store(const std::wstring& path) {
    { auto storage = Code_storage::open_path(path); } // creates the schema
    Connection db = open_db(path);
    sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr);
    Statement insert = prepare(db.get(), L"INSERT INTO code_store VALUES(?1,?2,?3,?4,?5,?6);");
    for (int i = 0; i < code_rows; ++i) {
        std::wstring ident = ident_of(i), name = L"Action number " + std::to_wstring(i);
        std::wstring description = L"Types a greeting for customer " + std::to_wstring(i);
        std::wstring code =
            L"Dear customer,\r\nthank you for message {date} number " + std::to_wstring(i) + L".";
        const wchar_t* type = L"typing_interpreter";
        const wchar_t* category = L"Letters";
        SQLite::bind_string(insert.get(), 1, ident.c_str(), ident.size());
        SQLite::bind_string(insert.get(), 2, name.c_str(), name.size());
        SQLite::bind_string(insert.get(), 3, description.c_str(), description.size());
        SQLite::bind_string(insert.get(), 4, type, std::wcslen(type));
        SQLite::bind_string(insert.get(), 5, code.c_str(), code.size());
        SQLite::bind_string(insert.get(), 6, category, std::wcslen(category));
        sqlite3_step(insert.get());
        sqlite3_reset(insert.get());
    }
    insert.reset();
    sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
}

void bench_code_storage(const std::wstring& dir) {
    std::wstring path = dir + L"\\code_storage.db";
    fill_code_store(path);
    auto storage = Code_storage::open_path(path);
    Connection bare = open_db(path);

    double ours = measure(5, [&] {
        Counting_visitor visitor;
        storage->list_by_type(L"typing_interpreter", visitor);
        sink = visitor.total;
    });
    double base = measure(5, [&] {
        std::size_t total = 0;
        Statement s =
            prepare(bare.get(), L"SELECT ident, name, description, category FROM code_store "
                                L"WHERE type=?1;");
        sqlite3_bind_text16(s.get(), 1, L"typing_interpreter", -1, SQLITE_STATIC);
        while (sqlite3_step(s.get()) == SQLITE_ROW)
            for (int c = 0; c < 4; ++c) {
                const void* text = sqlite3_column_text16(s.get(), c);
                total += text ? std::wcslen(static_cast<const wchar_t*>(text)) : 0;
            }
        sink = total;
    });
    report("Code_storage::list_by_type, 10,000 rows", ours, "bare step loop", base);

    std::vector<std::wstring> idents;
    for (int i = 0; i < code_rows; ++i)
        idents.push_back(ident_of((i * 7919) % code_rows));
    ours = measure(3, [&] {
        std::wstring type, code, name, description, category;
        std::size_t total = 0;
        for (const std::wstring& ident : idents) {
            storage->load_code(ident, type, code, name, description, category);
            total += code.size();
        }
        sink = total;
    });
    const wchar_t* load_sql =
        L"SELECT type, code, name, description, category FROM code_store WHERE ident=?1;";
    auto bare_load = [&](sqlite3_stmt* s, const std::wstring& ident, std::size_t& total) {
        sqlite3_bind_text16(s, 1, ident.c_str(), static_cast<int>(ident.size() * 2), SQLITE_STATIC);
        if (sqlite3_step(s) == SQLITE_ROW) {
            std::wstring type = text_of(s, 0), code = text_of(s, 1), name = text_of(s, 2),
                         description = text_of(s, 3), category = text_of(s, 4);
            total += code.size();
        }
    };
    base = measure(3, [&] {
        std::size_t total = 0;
        for (const std::wstring& ident : idents) {
            Statement s = prepare(bare.get(), load_sql);
            bare_load(s.get(), ident, total);
        }
        sink = total;
    });
    report("Code_storage::load_code, 10,000 lookups", ours, "bare, prepared per lookup", base);
    double once = measure(3, [&] {
        std::size_t total = 0;
        Statement s = prepare(bare.get(), load_sql);
        for (const std::wstring& ident : idents) {
            bare_load(s.get(), ident, total);
            sqlite3_reset(s.get());
        }
        sink = total;
    });
    report("Code_storage::load_code, 10,000 lookups", ours, "bare, prepared once", once);

    constexpr int stores = 300;
    int round = 0;
    ours = measure(3, [&] {
        ++round;
        for (int i = 0; i < stores; ++i)
            storage->store_code(ident_of(i), L"typing_interpreter",
                                L"changed code " + std::to_wstring(round), L"Name", L"", L"");
    });
    base = measure(3, [&] {
        ++round;
        for (int i = 0; i < stores; ++i) {
            std::wstring ident = ident_of(i), code = L"changed code " + std::to_wstring(round);
            Statement s = prepare(bare.get(),
                                  L"INSERT OR REPLACE INTO code_store VALUES(?1,?2,?3,?4,?5,?6);");
            sqlite3_bind_text16(s.get(), 1, ident.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text16(s.get(), 2, L"Name", -1, SQLITE_STATIC);
            sqlite3_bind_text16(s.get(), 3, L"", -1, SQLITE_STATIC);
            sqlite3_bind_text16(s.get(), 4, L"typing_interpreter", -1, SQLITE_STATIC);
            sqlite3_bind_text16(s.get(), 5, code.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text16(s.get(), 6, L"", -1, SQLITE_STATIC);
            sqlite3_step(s.get());
        }
    });
    report("Code_storage::store_code, 300 commits", ours, "bare, prepared per store", base);
}

void bench_shortcuts(const std::wstring& dir) {
    std::wstring path = dir + L"\\zaptor.db";
    {
        Shortcut_database db(path);
        Connection raw = open_db(path);
        sqlite3_exec(raw.get(), "BEGIN", nullptr, nullptr, nullptr);
        Statement insert = prepare(raw.get(), L"INSERT INTO key_bindings VALUES (?1,?2,?3);");
        for (int i = 0; i < binding_rows; ++i) {
            std::wstring ident = ident_of(i), name = L"Action number " + std::to_wstring(i);
            sqlite3_bind_int(insert.get(), 1, (i % 256) | ((i / 256) << 8) | 0x10000);
            sqlite3_bind_text16(insert.get(), 2, ident.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text16(insert.get(), 3, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(insert.get());
            sqlite3_reset(insert.get());
        }
        insert.reset();
        sqlite3_exec(raw.get(), "COMMIT", nullptr, nullptr, nullptr);
    }
    Shortcut_database db(path);
    Connection bare = open_db(path);
    Statement select = prepare(bare.get(), L"SELECT key, ident, name FROM key_bindings;");
    double ours = measure(5, [&] {
        Binding_map map;
        db.load_all(map);
        sink = map.size();
    });
    double base = measure(5, [&] {
        Binding_map map;
        while (sqlite3_step(select.get()) == SQLITE_ROW) {
            std::wstring ident = text_of(select.get(), 1);
            if (ident.empty())
                continue;
            map.emplace(static_cast<std::uint32_t>(sqlite3_column_int64(select.get(), 0)),
                        Key_binding_entry{std::move(ident), text_of(select.get(), 2)});
        }
        sqlite3_reset(select.get());
        sink = map.size();
    });
    report("Shortcut_database::load_all, 10,000 bindings", ours, "bare step loop into the map",
           base);
}

void bench_text_provider(const std::wstring& dir) {
    std::wstring path = dir + L"\\bench.lng";
    std::vector<std::wstring> words;
    std::map<std::wstring, std::wstring> bare;
    {
        Connection db = open_db(path);
        sqlite3_exec(db.get(),
                     "CREATE TABLE meta (key TEXT, value TEXT);"
                     "INSERT INTO meta VALUES ('language','de'),('Deutsch','de');"
                     "CREATE TABLE base_lang (word_id INTEGER, text TEXT);"
                     "CREATE TABLE de (word_id INTEGER, text TEXT); BEGIN;",
                     nullptr, nullptr, nullptr);
        Statement english = prepare(db.get(), L"INSERT INTO base_lang VALUES (?1, ?2);");
        Statement german = prepare(db.get(), L"INSERT INTO de VALUES (?1, ?2);");
        for (int i = 0; i < word_count; ++i) {
            std::wstring word = L"English text number " + std::to_wstring(i);
            std::wstring translated = L"Deutscher Text Nummer " + std::to_wstring(i);
            for (auto* s : {english.get(), german.get()}) {
                sqlite3_bind_int(s, 1, i);
                const std::wstring& text = s == english.get() ? word : translated;
                sqlite3_bind_text16(s, 2, text.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_step(s);
                sqlite3_reset(s);
            }
            words.push_back(word);
            bare.emplace(word, translated);
        }
        english.reset();
        german.reset();
        sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
    }
    auto provider = make_textprovider();
    provider->set_language_from_file(path, L"Deutsch");
    constexpr int passes = 200;
    double ours = measure(5, [&] {
        std::size_t total = 0;
        for (int p = 0; p < passes; ++p)
            for (const std::wstring& word : words)
                total += provider->get_string(word.c_str())[0];
        sink = total;
    });
    double base = measure(5, [&] {
        std::size_t total = 0;
        for (int p = 0; p < passes; ++p)
            for (const std::wstring& word : words)
                total += bare.find(word)->second[0];
        sink = total;
    });
    report("Textprovider::get_string, 1,000 words x 200", ours, "bare std::map::find", base);
}

} // namespace

int main() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir =
        std::wstring(temp) + L"zaptor_storage_bench_" + std::to_wstring(GetCurrentProcessId());
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    std::printf("Storage benchmark (best of several runs; goal for reads: ratio <= 1.5)\n");
    bench_code_storage(dir);
    bench_shortcuts(dir);
    bench_text_provider(dir);
    std::filesystem::remove_all(dir, error);
    return 0;
}
