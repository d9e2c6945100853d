// Network sessions: host or join a game, create players and exchange text messages between
// player ids through the host. Player ids travel as decimal texts.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// Hosts a session on the port in port ("" or 0: 27013). 1 when the server and the host's
// own connection are up, else 0. The first two texts and the number are not used.
double NETHOSTGAME(double unused, DGStr unused1, DGStr unused2, DGStr port);
// Joins the session at address ("": this machine) and port. 1 when the server answered.
// The socket layer must have been started by NETHOSTGAME or NETGETIP_Str before.
double NETJOINGAME(double unused, DGStr unused1, DGStr address, DGStr port);
// Creates a player (name of at most 126 characters); its id, or "-1" after 5 seconds.
DGStr NETCREATEPLAYER_Str(DGStr name);
// Asks the server to remove the player. Always 1.
double NETDESTROYPLAYER(DGStr id);
// Sends text (at most 2048 bytes) from one player to another; recipient "0" addresses every
// player. 1 when the datagram was written, else 0.
double NETSENDMSG(DGStr from, DGStr to, DGStr text);
// The oldest message delivered to the local player id, or "".
DGStr NETGETMSG_Str(DGStr id);
// The player's name as the server knows it ("" for an unknown id), or "NO_DATA".
DGStr NETPLAYERNAME_Str(DGStr id);
// The number of players on the server, or 0.
double NETNUMPLAYERS();
// The id of the player at that position on the server, or "0".
DGStr NETGETPLAYERID_Str(double index);
// This machine's addresses separated by '|'; "" when the network cannot be used.
DGStr NETGETIP_Str();

}  // namespace TAVELOR
