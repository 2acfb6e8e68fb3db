// What our dialogs do as they open: their texts in the user's language,
// their list views' columns and their place on the screen.
#pragma once

#include <windows.h>

#include <initializer_list>

struct Item_text {
    int id;                 // a control of the dialog
    const wchar_t* english; // marked translatable()
};

// Sets the dialog's caption and the controls' texts, each translated.
void show_dialog_texts(HWND dialog, const wchar_t* english_caption,
                       std::initializer_list<Item_text> items);

struct List_column {
    const wchar_t* english_title; // marked translatable()
    int width;                    // pixels
};

// Appends text columns, titles translated, to a list view in report style,
// with full-row selection and a label tip for a cell cut short.
void add_text_columns(HWND list, std::initializer_list<List_column> columns);

// The width of a window's client area: a list view's room for its columns.
int client_width(HWND window);

// Centres a dialog over its owner, or over the primary monitor without one,
// keeping its top-left corner at least 10 pixels inside the screen.
void center_dialog(HWND dialog);
