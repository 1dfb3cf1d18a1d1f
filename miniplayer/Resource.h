// Resource identifiers of the stand-in runtime's module (used by the .rc too).
#pragma once

#define MINIPLAYER_CURSOR_PAGE 101
#define MINIPLAYER_MENU_CONTEXT 201

#define MINIPLAYER_CMD_PLAY 1001
#define MINIPLAYER_CMD_STOP 1002
#define MINIPLAYER_CMD_REWIND 1003
#define MINIPLAYER_CMD_FORWARD 1004
#define MINIPLAYER_CMD_BACK 1005
#define MINIPLAYER_CMD_ABOUT 1006
