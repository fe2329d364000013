// Resource identifiers of Quorvalinthexa.exe and its language satellites.
// Shared by the .rc files and the C++ code; the numbers are fixed.
#pragma once

// Dialog templates
#define IDD_MAIN 101
#define IDD_SELECTION 104
#define IDD_ANALYSIS 105
#define IDD_SETTINGS 109
#define IDD_ASK 120
#define IDD_BROWSER 121
#define IDD_TEXT 122
#define IDD_NETWORK_CHECK 123
#define IDD_PAIR 124
#define IDD_HISTORY 126
#define IDD_PAIR_WAIT 127

// Icon, bitmaps, menu
#define IDI_PROGRAM 115
#define IDB_DISCOVERY 107
#define IDB_SETTINGS 1024
#define IDB_LOCK 125
#define IDM_TRAY 1021

// Main window controls
#define IDC_OWN_ADDRESS 102
#define IDC_RECIPIENT 103
#define IDC_SELECT 106
#define IDC_STOP 108
#define IDC_SEND 110
#define IDC_STORE_PATH 111
#define IDC_CHOOSE_STORE 112
#define IDC_STATUS 113
#define IDC_PROGRESS 114
#define IDC_DISCOVER 116
#define IDC_BANNER_PICTURE 1003
#define IDC_BANNER_TITLE 1004
#define IDC_BANNER_CONTENT 1005
#define IDC_SUMMARY 1011
#define IDC_LABEL_OWN 1013
#define IDC_LABEL_RECIPIENT 1014
#define IDC_LABEL_STORE 1015
#define IDC_SETTINGS 1020
// Beside the recipient field: opens the menu of remembered peers
#define IDC_RECIPIENT_PEERS 1072
// Above the status line while a transfer runs over the private channel: a lock and
// "Encrypted: trusted computer <name>"
#define IDC_PRIVATE_LOCK 1073
#define IDC_PRIVATE_MARK 1074
// The rows of receptions that run side by side, one per side place (0..3): the sender and
// what it sends, its progress, and its Stop.
#define IDC_ROW_TEXT 7300
#define IDC_ROW_PROGRESS 7310
#define IDC_ROW_STOP 7320

// Selection dialog controls
#define IDC_DELETE 1006
#define IDC_SELECTION_LIST 1008
#define IDC_ADD_FOLDER 1009
#define IDC_ADD_FILES 1010

// Analysis dialog controls
#define IDC_ANALYSIS_PROGRESS 1012
#define IDC_ANALYSIS_TEXT 1016

// Settings dialog controls
#define IDC_AUTOSTART 1017
#define IDC_AUTOSTART_TRAY 1018
#define IDC_LANGUAGE 1019
#define IDC_MINIMIZE_TRAY 1021
#define IDC_ACCEPT_GROUP 1030
#define IDC_ACCEPT_EVERYONE 1031
#define IDC_ACCEPT_ASK 1032
#define IDC_ACCEPT_LISTED 1033
#define IDC_ACCEPT_NOBODY 1034
#define IDC_ALLOWED_SENDERS 1035
#define IDC_ALLOWED_HINT 1036
// Finding peers: look around the subnet, forget the remembered peers, the network check
#define IDC_LOOK_AROUND 1038
#define IDC_FORGET_PEERS 1039
#define IDC_SETTINGS_CHECK 1042
// The two choices of who may send that go by the sender's key
#define IDC_ACCEPT_TRUSTED_ASK 1043
#define IDC_ACCEPT_TRUSTED_ONLY 1044
// Trusted computers: this computer's ID and Copy, the list and Remove, Pair, and trusting
// a computer by its ID (ID, name, Add), with a line that tells how the last of these went
#define IDC_OWN_ID_LABEL 1080
#define IDC_OWN_ID 1081
#define IDC_COPY_ID 1082
#define IDC_TRUSTED_GROUP 1083
#define IDC_TRUSTED_LIST 1084
#define IDC_UNTRUST 1085
#define IDC_PAIR 1086
#define IDC_TRUST_ID_LABEL 1087
#define IDC_TRUST_ID 1088
#define IDC_TRUST_NAME_LABEL 1089
#define IDC_TRUST_NAME 1090
#define IDC_TRUST_ADD 1091
#define IDC_TRUST_NOTE 1092
#define IDC_ONLY_ENCRYPTED 1123
// The partial files cut private receptions keep: the days (and its label), Delete, and a
// line that tells what is kept or what went
#define IDC_KEEP_PARTIAL_LABEL 1100
#define IDC_KEEP_PARTIAL 1101
#define IDC_DELETE_PARTIAL 1102
#define IDC_PARTIAL_NOTE 1103

// The History window: the filter (and its label), the list, Show in folder, Open, Copy
// text, Clear history and the count of entries shown; Close is IDCANCEL (Esc closes)
#define IDC_HISTORY_FILTER_LABEL 1110
#define IDC_HISTORY_FILTER 1111
#define IDC_HISTORY_LIST 1112
#define IDC_HISTORY_SHOW 1113
#define IDC_HISTORY_OPEN 1114
#define IDC_HISTORY_COPY 1115
#define IDC_HISTORY_CLEAR 1116
#define IDC_HISTORY_COUNT 1117
// The main window's button that opens it, and the settings' entries kept (and its label)
#define IDC_HISTORY_BUTTON 1118
#define IDC_HISTORY_LIMIT_LABEL 1119
#define IDC_HISTORY_LIMIT 1120
#define IDC_PAIR_WAIT 1121
#define IDC_PAIR_WAIT_TEXT 1122
#define IDC_RETRY_LABEL 1124
#define IDC_RETRY_SECONDS 1125

// The question before a transfer is received: its text, Accept, and Decline (IDCANCEL,
// so that Esc and the close box decline too)
#define IDC_ASK_TEXT 1040
#define IDC_ASK_ACCEPT 1041

// Browser access: the hint, the address, its QR code (drawn by the dialog), the warning,
// and Stop (IDCANCEL); the settings dialog's button that opens it
#define IDC_BROWSER_HINT 1050
#define IDC_BROWSER_ADDRESS 1051
#define IDC_BROWSER_QR 1052
#define IDC_BROWSER_WARNING 1053
#define IDC_SETTINGS_BROWSER 1037
// Its box of the text the page offers, and that box's label
#define IDC_BROWSER_TEXT_LABEL 1054
#define IDC_BROWSER_TEXT 1055

// A text a browser sent: the text (read-only), Copy, and Close (IDCANCEL: Esc closes)
#define IDC_TEXT_BODY 1060
#define IDC_TEXT_COPY 1061

// The network check: its lines (read-only), Check again, and Close (IDCANCEL)
#define IDC_CHECK_TEXT 1070
#define IDC_CHECK_AGAIN 1071

// The pairing question: the other computer's name and ID, the comparison code in large
// type, "Trust this computer?", Yes, and No (IDCANCEL: Esc and the close box say no)
#define IDC_PAIR_COMPUTER 1093
#define IDC_PAIR_ID 1094
#define IDC_PAIR_COMPARE 1095
#define IDC_PAIR_CODE 1096
#define IDC_PAIR_QUESTION 1097
#define IDC_PAIR_YES 1098

// Tray menu commands and the tray callback message (WM_USER + 2)
#define IDM_EXIT 1022
#define IDM_RESTORE 1023
#define IDM_PAUSE 1025
#define IDM_OPEN_STORE 1028
#define IDM_BROWSER_ACCESS 1029
#define IDM_NETWORK_CHECK 1027
#define IDM_HISTORY 1030
#define WM_TRAY_CALLBACK 1026

// String table
#define IDS_YOUR_IP 109
#define IDS_RECIPIENT_IP 110
#define IDS_SELECTED 111
#define IDS_SELECT_FILES 112
#define IDS_STOP 113
#define IDS_SEND_FILE 114
#define IDS_STORE_PATH 115
#define IDS_CANCELED 116
#define IDS_RECEIVING 117
#define IDS_RECIPIENT_RECEIVED 118
#define IDS_RECEIVING_RATE 119
#define IDS_RECEIVING_COMPLETE 120
#define IDS_RECEIVING_INCOMPLETE 121
#define IDS_OLD_VERSION 122
#define IDS_NO_STORE_PATH 123
#define IDS_SERVER_STARTING 124
#define IDS_SERVER_FAILED 125
#define IDS_SERVER_RUNNING 126
#define IDS_PREPARING 127
#define IDS_CONNECTING 128
#define IDS_SENDING 129
#define IDS_SENDING_RATE 130
#define IDS_TRANSFER_COMPLETE 131
#define IDS_TRANSFER_INCOMPLETE 132
#define IDS_ERROR_CAPTION 133
#define IDS_NOTHING_SELECTED 134
#define IDS_ANALYZING 135
#define IDS_CANCEL 136
#define IDS_ADD_FILES 137
#define IDS_ADD_FOLDER 138
#define IDS_DELETE 139
#define IDS_OK 140
#define IDS_COLUMN_NAME 141
#define IDS_COLUMN_SIZE 142
#define IDS_COLUMN_PATH 143
#define IDS_CHOOSE_DIRECTORY 144
#define IDS_NO_RECIPIENT 145
#define IDS_AUTOSTART 146
#define IDS_AUTOSTART_TRAY 147
#define IDS_MINIMIZE_TRAY 148
#define IDS_EXIT 149
#define IDS_RESTORE 150
#define IDS_ACCEPT_GROUP 151
#define IDS_ACCEPT_EVERYONE 152
#define IDS_ACCEPT_ASK 153
#define IDS_ACCEPT_LISTED 154
#define IDS_ACCEPT_NOBODY 155
#define IDS_ALLOWED_HINT 156
#define IDS_BAD_SENDER 157
#define IDS_PAUSE_RECEIVING 158
#define IDS_RESUME_RECEIVING 159
#define IDS_ASK_TITLE 160
#define IDS_ASK_QUESTION 161
#define IDS_ASK_ACCEPT 162
#define IDS_ASK_DECLINE 163
#define IDS_REFUSED_PAUSED 164
#define IDS_REFUSED_NOT_LISTED 165
#define IDS_REFUSED_DECLINED 166
#define IDS_REFUSED_UNANSWERED 167
#define IDS_REFUSED_RECENTLY 168
#define IDS_NO_FREE_SPACE 169
#define IDS_OPEN_STORE 170
#define IDS_BROWSER_ACCESS 171
#define IDS_BROWSER_TITLE 172
#define IDS_BROWSER_HINT 173
#define IDS_BROWSER_WARNING 174
#define IDS_BROWSER_PORT_TAKEN 175
#define IDS_BROWSER_NO_ADDRESS 176
#define IDS_TEXT_TITLE 177
#define IDS_TEXT_COPY 178
#define IDS_TEXT_COPIED 179
#define IDS_TEXT_CLOSE 180
#define IDS_BROWSER_TEXT_LABEL 181
#define IDS_NETWORK_CHECK 182
#define IDS_NETWORK_CHECK_TITLE 183
#define IDS_NOBODY_FOUND 184
#define IDS_LOOK_AROUND 185
#define IDS_FORGET_PEERS 186
#define IDS_CHECK_ADAPTERS 187
#define IDS_CHECK_ADAPTER_OPEN 188
#define IDS_CHECK_ADAPTER_FAILED 189
#define IDS_CHECK_NO_ADAPTER 190
#define IDS_CHECK_PORT_OURS 191
#define IDS_CHECK_PORT_IN_USE 192
#define IDS_CHECK_PORT_DENIED 193
#define IDS_CHECK_PORT_FAILED 194
#define IDS_CHECK_PEERS 195
#define IDS_CHECK_NO_PEERS 196
#define IDS_CHECK_PEER_BOTH 197
#define IDS_CHECK_PEER_UDP 198
#define IDS_CHECK_PEER_TCP 199
#define IDS_CHECK_PEER_NONE 200
#define IDS_CHECK_FIREWALL 201
#define IDS_CHECK_FIREWALL_UNKNOWN 202
#define IDS_CHECK_FIREWALL_OFF 203
#define IDS_CHECK_FIREWALL_COVERED 204
#define IDS_CHECK_FIREWALL_BLOCKS 205
#define IDS_PROFILE_DOMAIN 206
#define IDS_PROFILE_PRIVATE 207
#define IDS_PROFILE_PUBLIC 208
#define IDS_CHECK_AGAIN 209
#define IDS_CHECKING 210
#define IDS_REMEMBERED_PEERS 211
#define IDS_OWN_ID 212
#define IDS_OWN_ID_MISSING 213
#define IDS_TRUSTED_GROUP 214
#define IDS_COLUMN_ID 215
#define IDS_COLUMN_LAST_ADDRESS 216
#define IDS_COLUMN_LAST_SEEN 217
#define IDS_NEVER 218
#define IDS_UNTRUST 219
#define IDS_PAIR_BUTTON 220
#define IDS_TRUST_BY_ID 221
#define IDS_TRUST_NAME 222
#define IDS_TRUST_ADD 223
#define IDS_BAD_ID 224
#define IDS_TRUST_FAILED 225
#define IDS_TRUSTED_ADDED 226
#define IDS_PAIR_NO_RECIPIENT 227
#define IDS_PAIRING 228
#define IDS_PAIRED 229
#define IDS_PAIR_DECLINED 230
#define IDS_PAIR_PEER_DECLINED 231
#define IDS_PAIR_NO_ANSWER 232
#define IDS_PAIR_FAILED 233
#define IDS_ACCEPT_TRUSTED_ASK 234
#define IDS_ACCEPT_TRUSTED_ONLY 235
#define IDS_PAIR_TITLE 236
#define IDS_PAIR_COMPUTER 237
#define IDS_PAIR_ID 238
#define IDS_PAIR_COMPARE 239
#define IDS_PAIR_QUESTION 240
#define IDS_YES 241
#define IDS_NO 242
#define IDS_ENCRYPTED_WITH 243
#define IDS_PRIVATE_ARRIVAL 244
#define IDS_SEND_IN_CLEAR 245
#define IDS_REFUSED_NOT_TRUSTED 246
#define IDS_SEND_KEY_CHANGED 247
#define IDS_SEND_NOT_PRIVATE 248
#define IDS_SEND_NOT_PAIRED 249
#define IDS_TALLY_STORED 250
#define IDS_TALLY_RESUMED 251
#define IDS_TALLY_SKIPPED 252
#define IDS_TALLY_REFUSED 253
#define IDS_KEEP_PARTIAL 254
#define IDS_DELETE_PARTIAL 255
#define IDS_PARTIAL_KEPT 256
#define IDS_PARTIAL_DELETED 257
#define IDS_RESUME_SEND 258
#define IDS_TALLY_STORED_ONE 259
#define IDS_TALLY_RESUMED_ONE 260
#define IDS_TALLY_SKIPPED_ONE 261
#define IDS_SEND_TOOK_SOME 262
#define IDS_HISTORY 263
#define IDS_HISTORY_MENU 264
#define IDS_COLUMN_TIME 265
#define IDS_COLUMN_DIRECTION 266
#define IDS_DIRECTION_RECEIVED 267
#define IDS_DIRECTION_SENT 268
#define IDS_COLUMN_DOOR 269
#define IDS_DOOR_TRANSFER 270
#define IDS_DOOR_PRIVATE 271
#define IDS_DOOR_BROWSER_UPLOAD 272
#define IDS_DOOR_BROWSER_DOWNLOAD 273
#define IDS_DOOR_TEXT 274
#define IDS_COLUMN_COMPUTER 275
#define IDS_COLUMN_WHAT 276
#define IDS_NAMES_AND_MORE 277
#define IDS_COLUMN_FILES 278
#define IDS_COLUMN_WHERE 279
#define IDS_COLUMN_RESULT 280
#define IDS_OUTCOME_COMPLETE 281
#define IDS_OUTCOME_INCOMPLETE 282
#define IDS_OUTCOME_REFUSED 283
#define IDS_OUTCOME_CANCELED 284
#define IDS_HISTORY_FILTER 285
#define IDS_HISTORY_SHOW 286
#define IDS_HISTORY_OPEN 287
#define IDS_HISTORY_COPY 288
#define IDS_HISTORY_CLEAR 289
#define IDS_HISTORY_CLEAR_ASK 290
#define IDS_HISTORY_COUNT 291
#define IDS_HISTORY_LIMIT 292
#define IDS_SEND_ONLY_ENCRYPTED 293
#define IDS_SENT_IN_CLEAR 294
#define IDS_ONLY_ENCRYPTED_SETTING 295
#define IDS_PAIR_WAIT_BUTTON 296
#define IDS_PAIR_WAITING 297
#define IDS_PAIR_WAIT_OVER 298
#define IDS_PAIR_WAIT_TITLE 299
#define IDS_RETRY_WAITING 300
#define IDS_HISTORY_TRIES 301
#define IDS_RETRY_SETTING 302
#define IDS_REFUSED_STOPPED 303
// The string table runs from IDS_YOUR_IP to this id, without gaps.
#define IDS_LAST 303

// Texts for texts to a trusted computer, and the tray tip: IDS_TEXTS_FIRST to IDS_TEXTS_LAST, without gaps.
#define IDS_TEXTS_FIRST 7100
#define IDS_TEXT_NOT_VALID 7100
#define IDS_TEXT_BUSY 7101
#define IDS_TEXT_SENT 7102
#define IDS_TEXT_NOT_TRUSTED 7103
#define IDS_TEXT_NOT_SENT 7104
#define IDS_TEXT_REFUSED 7105
#define IDS_TEXT_TOO_LONG 7106
#define IDS_TEXT_NOT_VALID_HERE 7107
#define IDS_TEXT_NO_ADDRESS 7108
#define IDS_TEXT_EMPTY 7109
#define IDS_SEND_TEXT_MENU 7110
#define IDS_SEND_CLIPBOARD 7111
#define IDS_SEND_TEXT_TITLE 7112
#define IDS_SEND_TEXT_BUTTON 7113
#define IDS_CLIPBOARD_EMPTY 7114
#define IDS_TEXT_BUTTON 7115
#define IDS_TEXT_SENDING 7116
#define IDS_TRAY_TRANSFERS 7117
#define IDS_TEXTS_LAST 7117
// The Send text dialog, the main window's Text button and its menu (also in the tray menu).
#define IDD_SEND_TEXT 7150
#define IDC_SEND_TEXT_BODY 7151
#define IDC_TEXT_BUTTON 7152
#define IDM_SEND_TEXT 7153
#define IDM_SEND_CLIPBOARD 7154
#define IDM_TEXT_MENU 7155
// What an arriving file does to one of the same name already there: a block of texts of
// its own, without gaps from IDS_EXISTING_FIRST to IDS_EXISTING_LAST.
#define IDS_EXISTING_FIRST 7200
#define IDS_EXISTING_QUESTION 7200
#define IDS_EXISTING_TERMINAL_CHOICES 7201
#define IDS_EXISTING_TITLE 7202
#define IDS_EXISTING_REPLACE 7203
#define IDS_EXISTING_KEEP_BOTH 7204
#define IDS_EXISTING_SKIP 7205
#define IDS_EXISTING_FOR_ALL 7206
#define IDS_EXISTING_SETTING 7207
#define IDS_EXISTING_CHOICE_REPLACE 7208
#define IDS_EXISTING_CHOICE_KEEP_BOTH 7209
#define IDS_EXISTING_CHOICE_SKIP 7210
#define IDS_EXISTING_CHOICE_ASK 7211
#define IDS_EXISTING_KEPT_BOTH 7212
#define IDS_EXISTING_SKIPPED 7213
#define IDS_EXISTING_LAST 7213
// Its question (a dialog of its own) and the settings' drop-down with its label
#define IDD_EXISTING 7250
#define IDC_EXISTING_TEXT 7251
#define IDC_EXISTING_NAMES 7252
#define IDC_EXISTING_REPLACE 7253
#define IDC_EXISTING_KEEP_BOTH 7254
#define IDC_EXISTING_SKIP 7255
#define IDC_EXISTING_FOR_ALL 7256
#define IDC_EXISTING_LABEL 7257
#define IDC_EXISTING_CHOICE 7258
// The network check's computers and the firewall's fix: IDS_REACH_FIRST to IDS_REACH_LAST, without gaps.
#define IDS_REACH_FIRST 7300
#define IDS_REACH_HEADING 7300
#define IDS_REACH_TRUSTED 7301
#define IDS_REACH_NO_ADDRESS 7302
#define IDS_REACH_TO 7303
#define IDS_REACH_FROM 7304
#define IDS_REACH_WORKS 7305
#define IDS_REACH_VERIFIED 7306
#define IDS_REACH_OTHER_KEY 7307
#define IDS_REACH_REFUSED 7308
#define IDS_REACH_NO_ANSWER 7309
#define IDS_REACH_NO_ROUTE 7310
#define IDS_REACH_FILTERED_HERE 7311
#define IDS_REACH_FILTERED_THERE 7312
#define IDS_REACH_FAILED 7313
#define IDS_REACH_UNKNOWN 7314
#define IDS_REACH_NOT_ASKED 7315
#define IDS_REACH_ALLOW 7316
#define IDS_REACH_LAST 7316
// The network check window's button for the firewall's fix, shown when it is offered.
#define IDC_CHECK_ALLOW 7350
