// Registry scripts (REGISTRY resources), one per creatable class.
#pragma once

#define IDR_MODULE_FOLDER_SCRIPT 201
#define IDR_CONTEXT_MENU_SCRIPT 202
#define IDR_PROPERTY_SHEET_SCRIPT 203
#define IDR_SEARCH_HANDLER_SCRIPT 232
