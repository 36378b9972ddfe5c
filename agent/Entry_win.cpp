// The agent's program entry on Windows: a GUI-subsystem program.

#include <windows.h>

#include "agent/Agent.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return AgentMain(); }
