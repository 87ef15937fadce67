// A loopback port that nobody listens on, for tests of a refused connection.
#pragma once

// Binds a TCP socket to 127.0.0.1 with port 0, reads the port the system chose and closes the
// socket again. 0 when no socket could be made.
int UnusedLoopbackPort();
