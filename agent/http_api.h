// SPDX-License-Identifier: GPL-3.0-or-later
// The HTTP interface: JSON in UTF-8, a bearer token on every request but
// /healthz, CORS for the configured origins only.
#pragma once

namespace httplib {
class Server;
}

namespace termina::agent {

class Agent;

// The largest request body taken (413 above it).
constexpr unsigned long kMaxBody = 64 * 1024;

void installRoutes(httplib::Server& server, Agent& agent);

}  // namespace termina::agent
