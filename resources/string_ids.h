// String resource ids, sorted by id. Shared by the .rc files and the code.
// Where a menu command has a status-bar help text, the string has the
// command's id.
#pragma once

// 8192-8213 status-bar help texts of view commands (string id = command id)
#define IDS_HELP_LARGE_ICONS                8192
#define IDS_HELP_PROPERTIES                 8196
#define IDS_HELP_SORT_BY_NAME               8197
#define IDS_HELP_AUTO_ARRANGE               8201
#define IDS_HELP_SNAP_TO_GRID               8202
#define IDS_HELP_CUT                        8208
#define IDS_HELP_EXPLORE                    8213

// 8216-8228 delete: confirmations, failures, progress texts
#define IDS_CONFIRM_FILE_DELETE_TITLE       8216
#define IDS_CONFIRM_FILE_DELETE             8217
#define IDS_CONFIRM_FOLDER_DELETE_TITLE     8218
#define IDS_CONFIRM_FOLDER_DELETE           8219
#define IDS_CONFIRM_READONLY_FILE_DELETE    8220
#define IDS_ERR_DELETE_FOLDER               8222
#define IDS_ERR_DELETE_FILE                 8223
#define IDS_ERR_DELETE_FOLDER_CAPTION       8224
#define IDS_ERR_DELETE_FILE_CAPTION         8225
#define IDS_PROGRESS_PREPARING_DELETE       8226
#define IDS_PROGRESS_DELETING               8227
#define IDS_PROGRESS_FROM                   8228

// 8229-8240 copy and move: progress lines, replace questions, refusals
#define IDS_PROGRESS_FROM_TO                8229
#define IDS_CONFIRM_REPLACE_FILE            8230
#define IDS_CONFIRM_REPLACE_FOLDER          8231
#define IDS_PROGRESS_COPYING                8232
#define IDS_PROGRESS_FROM_FOLDER            8233
#define IDS_ERR_COPY_FILE_ONTO_FOLDER       8234
#define IDS_CONFIRM_REPLACE_FILE_DETAILS    8235
#define IDS_CONFIRM_REPLACE_READONLY_FILE   8236
#define IDS_ERR_COPY_FOLDER_ONTO_FILE       8237
#define IDS_ERR_COPY_SAME_FOLDER            8238
#define IDS_ERR_COPY_INTO_SUBFOLDER         8239
#define IDS_ERR_COPY_CAPTION                8240

// 8241-8243 rename failures
#define IDS_ERR_RENAME_CAPTION              8241
#define IDS_ERR_RENAME_EXISTS               8242
#define IDS_ERR_RENAME                      8243

// 8244 the module's display name
#define IDS_MODULE                          8244

// 8246-8249 status-bar help texts
#define IDS_HELP_SELECT_ALL                 8246
#define IDS_HELP_INVERT_SELECTION           8247
#define IDS_HELP_FIND                       8249

// 8250-8257 property sheet: selection summaries
#define IDS_PROP_VARIOUS_FOLDERS            8250
#define IDS_PROP_ALL_IN                     8251
#define IDS_PROP_SEVERAL_TYPES              8252
#define IDS_PROP_ALL_OF_TYPE                8253
#define IDS_PROP_FILE                       8254
#define IDS_PROP_FILES                      8255
#define IDS_PROP_FOLDER                     8256
#define IDS_PROP_FOLDERS                    8257

// 8258 port page
#define IDS_PORT_SELECT_PORT                8258

// 8259-8261 format dialog and its command
#define IDS_FORMAT_WARNING                  8259
#define IDS_FORMAT_STANDARD_SIZE            8260
#define IDS_HELP_FORMAT                     8261

// 8262 files cannot be opened on the module
#define IDS_ERR_CANNOT_OPEN_FILE            8262

// 8263-8268 list columns and status-bar counts
#define IDS_COL_NAME                        8263
#define IDS_COL_SIZE                        8264
#define IDS_COL_TYPE                        8265
#define IDS_COL_MODIFIED                    8266
#define IDS_STATUS_OBJECTS                  8267
#define IDS_STATUS_OBJECTS_SELECTED         8268

// 8270-8274 status-bar help texts (menus, drop menu)
#define IDS_HELP_HELP_TOPICS                8270
#define IDS_HELP_ARRANGE_ICONS_MENU         8272
#define IDS_HELP_DROP_MOVE                  8273
#define IDS_HELP_DROP_COPY                  8274

// 8279-8283 information pane
#define IDS_PANE_SELECT_HINT                8279
#define IDS_PANE_MODIFIED                   8280
#define IDS_PANE_SIZE                       8281
#define IDS_PANE_TOTAL_FILE_SIZE            8282
#define IDS_PANE_ITEMS_SELECTED             8283

// 8285-8294 toolbar tooltips
#define IDS_TIP_CUT                         8285
#define IDS_TIP_COPY                        8286
#define IDS_TIP_PASTE                       8287
#define IDS_TIP_DELETE                      8288
#define IDS_TIP_PROPERTIES                  8289
#define IDS_TIP_LARGE_ICONS                 8291
#define IDS_TIP_SMALL_ICONS                 8292
#define IDS_TIP_LIST                        8293
#define IDS_TIP_DETAILS                     8294

// 8297-8299 search window tabs
#define IDS_SEARCH_TAB_NAME_LOCATION        8297
#define IDS_SEARCH_TAB_DATE                 8298
#define IDS_SEARCH_TAB_ADDITIONAL           8299

// 8303 status-bar help text
#define IDS_HELP_SORT_BY_FOLDER             8303

// 8306-8323 search criteria lists, descriptions, load and save
#define IDS_SEARCH_DATE_MODIFIED            8306
#define IDS_SEARCH_DATE_CREATED             8307
#define IDS_SEARCH_DATE_ACCESSED            8308
#define IDS_SEARCH_SIZE_MINIMUM             8309
#define IDS_SEARCH_SIZE_MAXIMUM             8310
#define IDS_SEARCH_ALL_FILES_AND_FOLDERS    8311
#define IDS_SEARCH_FILE_FILTER              8312
#define IDS_SEARCH_DESC_ALL_FILES           8313
#define IDS_SEARCH_DESC_WITH_NAMES          8314
#define IDS_SEARCH_DESC_OF_TYPE             8315
#define IDS_SEARCH_DESC_FILES               8316
#define IDS_SEARCH_SAVE_TITLE               8317
#define IDS_SEARCH_DESC_WITH_TEXT           8319
#define IDS_SEARCH_TITLE                    8320
#define IDS_SEARCH_LOAD_TITLE               8321
#define IDS_ERR_LOAD_SEARCH_CAPTION         8322
#define IDS_ERR_SAVE_SEARCH_CAPTION         8323

// 8324-8329 new folder and copy names
#define IDS_HELP_NEW_FOLDER                 8324
#define IDS_NEW_FOLDER                      8325
#define IDS_NEW_FOLDER_NUMBERED             8326
#define IDS_COPY_OF                         8328
#define IDS_COPY_NUMBERED_OF                8329

// 8331-8337 size units
#define IDS_SIZE_ONE_BYTE                   8331
#define IDS_SIZE_BYTES                      8332
#define IDS_SIZE_KB                         8333
#define IDS_SIZE_MB                         8334
#define IDS_SIZE_GB                         8335
#define IDS_SIZE_TB                         8336
#define IDS_SIZE_PB                         8337

// 8338-8339 move progress, oversized file
#define IDS_PROGRESS_MOVING                 8338
#define IDS_ERR_COPY_TOO_LARGE              8339

// 8340-8355 search window texts, its Explorer menu entry (8352), new-folder failure caption (8353)
#define IDS_SEARCH_BROWSE_TITLE             8340
#define IDS_COL_IN_FOLDER                   8341
#define IDS_SEARCH_FILES_FOUND              8344
#define IDS_SEARCH_HELP_FILE_MENU           8345
#define IDS_SEARCH_HELP_EDIT_MENU           8346
#define IDS_SEARCH_HELP_VIEW_MENU           8347
#define IDS_SEARCH_HELP_OPTIONS_MENU        8348
#define IDS_SEARCH_HELP_HELP_MENU           8349
#define IDS_SEARCH_STATUS                   8350
#define IDS_SEARCH_CONFIRM_NEW              8351
#define IDS_FIND_ON_MODULE                  8352
#define IDS_ERR_CREATE_OBJECT_CAPTION       8353
#define IDS_SEARCH_ERROR_CAPTION            8354
#define IDS_SEARCH_ILLEGAL_DATE             8355

// 8356-8366 copy and delete failures; label, attribute, standard-folder and format failures
#define IDS_ERR_COPY                        8356
#define IDS_ERR_CREATE_OR_REPLACE           8357
#define IDS_ERR_DELETE                      8358
#define IDS_ERR_STANDARD_FOLDERS_CAPTION    8359
#define IDS_ERR_STANDARD_FOLDERS            8360
#define IDS_ERR_ATTRIBUTES_CAPTION          8361
#define IDS_ERR_ATTRIBUTES                  8362
#define IDS_ERR_GENERAL_CAPTION             8363
#define IDS_ERR_LABEL                       8364
#define IDS_ERR_FORMAT_CAPTION              8365
#define IDS_ERR_FORMAT                      8366

// 8367-8372 search: download question, load/save failures, missing folder
#define IDS_SEARCH_CONFIRM_DOWNLOAD         8367
#define IDS_SEARCH_CONTENT_CAPTION          8368
#define IDS_ERR_LOAD_SEARCH                 8369
#define IDS_ERR_SAVE_SEARCH                 8370
#define IDS_SEARCH_FOLDER_NOT_FOUND         8372

// 8374-8377 server link failures
#define IDS_ERR_PORT_IN_USE                 8374
#define IDS_ERR_NO_COMMUNICATION            8375
#define IDS_ERR_PORT_UNAVAILABLE            8376
#define IDS_ERR_NO_CONNECTION               8377

// 8385-8391 rename characters, refresh help, move refusals and questions
#define IDS_ERR_INVALID_NAME_CHARS          8385
#define IDS_HELP_REFRESH                    8386
#define IDS_ERR_MOVE_CAPTION                8387
#define IDS_ERR_MOVE_SAME_FILE              8388
#define IDS_ERR_MOVE_SAME_FOLDER            8389
#define IDS_CONFIRM_MOVE_READONLY           8390
#define IDS_CONFIRM_MOVE_SYSTEM             8391

// 8392-8399 time remaining (hours, minutes, seconds; singular where 1)
#define IDS_TIME_HOURS_MINUTES_SECONDS      8392
#define IDS_TIME_HOURS_MINUTES_SECOND       8393
#define IDS_TIME_HOURS_MINUTE_SECONDS       8394
#define IDS_TIME_HOURS_MINUTE_SECOND        8395
#define IDS_TIME_HOUR_MINUTES_SECONDS       8396
#define IDS_TIME_HOUR_MINUTES_SECOND        8397
#define IDS_TIME_HOUR_MINUTE_SECONDS        8398
#define IDS_TIME_HOUR_MINUTE_SECOND         8399

// 8403-8409 read-only folder delete, drive texts, root columns, pane figures
#define IDS_CONFIRM_READONLY_FOLDER_DELETE  8403
#define IDS_MODULE_DISK                     8404
#define IDS_COL_FREE_SPACE                  8405
#define IDS_COL_TOTAL_SIZE                  8406
#define IDS_PANE_CAPACITY                   8407
#define IDS_PANE_USED                       8408
#define IDS_PANE_FREE                       8409

// 8470 properties and help (handlers): the help file is missing
#define IDS_ERR_HELP_MISSING                8470

// 8480-8482 failure texts of last resort, when neither the server nor the
// system has words for a code
#define IDS_ERR_SERVER_STOPPED              8480
#define IDS_ERR_SERVER_BUSY                 8481
#define IDS_ERR_UNKNOWN_CODE                8482
