// Network chat between two programs on one machine (or two machines). The first hosts the
// session, the second joins it; both show every line of the conversation with PRINT. Type a
// line and press Return to send it. Lines can also be given on the command line: each side
// says the next one whenever the other side has spoken; the joining side starts.
//
//   chat host [--port P] [--say "line|line|..."]
//   chat join [--address A] [--port P] [--say "line|line|..."]
//
// --frames N ends the program after N frames once its own lines are said and the other side
// has answered the last of them; --shot FILE saves that last frame first. Without --frames
// the window stays open until Escape.
#include <tavelor/tavelor.h>

#include <cstdio>

namespace __TAVELOR__ {
using namespace TAVELOR;

constexpr int kMaxLines = 20;
constexpr int kLineHeight = 20;

DGStrArray transcript;  // the lines shown, oldest first
double lineCount = 0;
DGStrArray script;      // this side's own lines
double scriptCount = 0, said = 0;
DGStr me = "";          // this side's name and player id
DGStr myId = "";

void Show(DGStr line) {
  if (lineCount == kMaxLines) {  // scroll: drop the oldest line
    for (int i = 1; i < kMaxLines; ++i) transcript(i - 1) = transcript(i);
    lineCount = lineCount - 1;
  }
  transcript(lineCount) = line;
  lineCount = lineCount + 1;
}

void SayNext() {
  if (said >= scriptCount) return;
  NETSENDMSG(myId, "0", me + ": " + script(said));  // "0": to every player, this one too
  said = said + 1;
}

// Collects typed characters; Return sends the line.
void Type(DGStr& typed) {
  for (DGStr c = INKEY_Str(); LEN(c) > 0; c = INKEY_Str()) {
    if (c == CHR_Str(10)) {
      if (LEN(typed) > 0) NETSENDMSG(myId, "0", me + ": " + typed);
      typed = "";
    } else if (c == CHR_Str(8)) {
      typed = MID_Str(typed, 0, LEN(typed) - 1);
    } else if (LEN(typed) < 70) {
      typed = typed + c;
    }
  }
}

void Draw(DGStr title, DGStr typed) {
  double w, h;
  GETSCREENSIZE(w, h);
  FILLRECT(0, 0, w - 1, h - 1, 0x301808);
  FILLRECT(0, 0, w - 1, 31, 0x000000);
  PRINT(title, 8, 8);
  for (int i = 0; i < lineCount; ++i) PRINT(transcript(i), 16, 48 + i * kLineHeight);
  PRINT(DGStr("> ") + typed + "_", 16, h - 32);
}

void __MainGameSub_() {
  DGStrArray args;
  const double n = SPLITSTR(GETCOMMANDLINE_Str(), args, " ");
  DGStr role = n > 0 ? args(0) : DGStr("host");
  DGStr port = "27013", address = "", shot = "", say = "";
  double frames = -1;
  for (int i = 1; i + 1 < n; ++i) {
    if (args(i) == "--port") port = args(i + 1);
    if (args(i) == "--address") address = args(i + 1);
    if (args(i) == "--frames") frames = args(i + 1).Number();
    if (args(i) == "--shot") shot = args(i + 1);
  }
  // The lines to say may hold blanks: they are everything after --say, up to the next option.
  const double at = INSTR(GETCOMMANDLINE_Str(), "--say ");
  if (at >= 0) {
    say = MID_Str(GETCOMMANDLINE_Str(), at + 6, 100000);
    const double next = INSTR(say, " --");
    if (next >= 0) say = MID_Str(say, 0, next);
    if (LEN(say) > 0 && say.GetAt(0) == '"') say = MID_Str(say, 1, 100000);
    if (LEN(say) > 0 && say.GetAt(LEN(say) - 1) == '"') say = MID_Str(say, 0, LEN(say) - 1);
  }
  DIM(transcript, kMaxLines);
  scriptCount = SPLITSTR(say, script, "|");

  const bool host = role == "host";
  me = host ? "host" : "guest";
  DGStr title;
  if (host) {
    if (!NETHOSTGAME(0, "", "", port)) {
      std::printf("chat: cannot host on port %s\n", port.c_str());
      END();
    }
    title = DGStr("Chat host, port ") + port;
  } else {
    NETGETIP_Str();  // starts the socket layer
    if (!NETJOINGAME(0, "", address, port)) {
      std::printf("chat: no host answers on port %s\n", port.c_str());
      END();
    }
    title = DGStr("Chat guest of ") + (LEN(address) > 0 ? address : DGStr("this machine")) + ", port " + port;
  }
  myId = NETCREATEPLAYER_Str(me);
  std::printf("chat: %s ready as player %s\n", me.c_str(), myId.c_str());
  std::fflush(stdout);
  if (!host) SayNext();

  LIMITFPS(30);
  double quietFrames = -1;  // frames since the conversation ended
  DGStr typed = "";
  for (;;) {
    Type(typed);
    for (DGStr msg = NETGETMSG_Str(myId); LEN(msg) > 0; msg = NETGETMSG_Str(myId)) {
      Show(msg);
      const bool mine = INSTR(msg, me + ": ") == 0;
      if (!mine) {
        SayNext();
        if (said >= scriptCount && quietFrames < 0) quietFrames = 0;
      }
    }
    Draw(title, typed);
    if (quietFrames >= 0) quietFrames = quietFrames + 1;
    if (frames >= 0 && quietFrames >= frames) {
      if (LEN(shot) > 0) SAVEBMP(shot);
      std::fflush(stdout);
      END();
    }
    SHOWSCREEN();
  }
}
}  // namespace __TAVELOR__

int main(int argc, char** argv) {
  TAVELOR::RunGame(argc, argv, {.caption = "Chat"}, __TAVELOR__::__MainGameSub_);
}
