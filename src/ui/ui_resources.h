// Identifiers of the dialog resources and their controls, shared by the
// resource script and the code.
#pragma once

#define IDD_KEY_BINDING_SETTINGS 101
#define IDD_ADD_KEY_SHORTCUT 102
#define IDD_MANAGE_ACTIONS 104
#define IDD_SELECT_KEY 106

// Manage actions
#define IDC_MA_SEARCH 1018
#define IDC_MA_TREE 1012
#define IDC_MA_NAME_LABEL 1026
#define IDC_MA_NAME 1029
#define IDC_MA_KEY_LABEL 1034
#define IDC_MA_KEY_BUTTON 1025
#define IDC_MA_DESCRIPTION_LABEL 1027
#define IDC_MA_DESCRIPTION 1003
#define IDC_MA_CODE_LABEL 1028
#define IDC_MA_CODE 1005
#define IDC_MA_TYPE_LABEL 1033
#define IDC_MA_TYPE 1032
#define IDC_MA_CATEGORY_LABEL 1030
#define IDC_MA_CATEGORY 1015
#define IDC_MA_NEW 1002
#define IDC_MA_DELETE 1004
#define IDC_MA_SAVE 1020
#define IDC_MA_EDIT 1023
#define IDC_MA_CANCEL 1024
#define IDC_MA_STATUS 1035

// Select key combination
#define IDC_SK_LABEL 1014
#define IDC_SK_PREFIX 1008
#define IDC_SK_KEY 1009
#define IDC_SK_UNBIND 1021

// Key binding settings
#define IDC_KS_LIST 1001
#define IDC_KS_ADD 1002
#define IDC_KS_MODIFY 1023
#define IDC_KS_REMOVE 1004
#define IDC_KS_STATUS 1035

// Add key shortcut
#define IDC_AS_KEY_LABEL 1014
#define IDC_AS_PREFIX 1008
#define IDC_AS_KEY 1009
#define IDC_AS_ACTIONS_LABEL 1017
#define IDC_AS_NEW 1021
#define IDC_AS_ACTIONS 1013
#define IDC_AS_DESCRIPTION_LABEL 1019
#define IDC_AS_DESCRIPTION 1006
