// The agent's program entry on POSIX.

#include "agent/Agent.h"

int main() { return AgentMain(); }
