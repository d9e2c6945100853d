// Files, directories, system commands and packed media archives.
#pragma once

#include <tavelor/arrays.h>
#include <tavelor/dgstr.h>

namespace TAVELOR {

// Names the data archive (pictures, fonts, sprites, sounds, meshes, line files) and the media
// archive (music, video) that load commands search after the disk; removes the temporary
// files both archives had unpacked.
void SETSHOEBOX(DGStr data, DGStr media);

// ---- Line files ------------------------------------------------------------------------------
// Text files addressed by line (0 to 255, up to 1023 bytes a line, "\r\n" line ends). One file
// is cached at a time; changes reach the disk when another file is named and when the
// program ends. A missing file reads as "NO_FILE" (0 as a number) and records error 3; a line
// outside 0..255 records error 7 and changes nothing.
void GETFILE(DGStr file, double line, DGStr& text);
void GETFILE(DGStr file, double line, double& value);
void PUTFILE(DGStr file, double line, DGStr text);
void PUTFILE(DGStr file, double line, double value);

// ---- Files and directories -------------------------------------------------------------------
// 1 when the file exists on disk as a readable file (not a directory), else 0.
double DOESFILEEXIST(DGStr file);
// Lists the working directory: the directories first (with "." and ".."), then the files that
// match pattern ('*' any run, '?' any one character except '.', letters without regard to
// case). Returns directories * 65536 + files.
double GETFILELIST(DGStr pattern, DGStrArray& list);
// The working directory with '/' separators and a final '/'.
DGStr GETCURRENTDIR_Str();
// Changes the working directory; 1 on success, else 0.
double SETCURRENTDIR(DGStr directory);
// Shows the desktop's file dialog (open when open is non-zero, else save). filter is a list of
// "description|patterns" pairs separated by '|'. Returns the chosen path with '/' separators,
// or "NO_FILE" when cancelled or when no dialog program is available.
DGStr FILEREQUEST_Str(double open, DGStr filter);

// ---- System ------------------------------------------------------------------------------------
// Starts a program from a Windows-style command line. With wait non-zero, waits for it and
// stores its exit code in exitcode. Returns 1 when it started, else 0.
double SHELLCMD(DGStr command, double wait, double show, double& exitcode);
// The program's command line (the arguments after its name).
DGStr GETCOMMANDLINE_Str();
// "" gives the platform's name ("LINUX"), "ID" an identifier of this machine (8 hexadecimal
// digits), anything else "NO_DATA". The key is not case-sensitive.
DGStr PLATFORMINFO_Str(DGStr key);

}  // namespace TAVELOR
