// Reads the data port out of a server's answer to EPSV (229) or PASV (227).
#pragma once

#include <string>

namespace asyncftp {

// The port of an EPSV answer, "(|||port|)": digits only, 1 to 65535; -1 otherwise.
int ParseEpsvPort(const std::string& text);
// The port of a PASV answer, "h1,h2,h3,h4,p1,p2": six numbers of 0 to 255, port not 0; -1 otherwise.
// The address is checked but not returned: data connections go to the control peer.
int ParsePasvPort(const std::string& text);

}  // namespace asyncftp
