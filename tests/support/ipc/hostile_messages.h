// Messages of the broker's protocol, well-formed or mutated the way a hostile local process
// might write them into a server's pipes, drawn from a seeded generator so that a run can be
// replayed.
#ifndef SUPPORT_IPC_HOSTILE_MESSAGES_H_
#define SUPPORT_IPC_HOSTILE_MESSAGES_H_

#include <random>
#include <string>

namespace test {

// One message's bytes: a hello, a service or id request, a routing message, a reply or a
// message of any type, then one mutation (a random type, a truncated payload, a lying length,
// flipped bytes, a sync request with a bad body) or none.
std::string MutatedMessage(std::mt19937* random);

// Attacks the server of |name| with |count| mutated messages, |random| drawing everything:
// in sessions on its rendezvous pipe and on worker pipes asked from it, a burst of up to 40
// messages each; now and then a session holds the rendezvous and says nothing, or takes a
// worker and never reads from it until the attack ends. Answers the sessions it took, or -1
// when the rendezvous stopped answering.
int AttackServer(const std::string& name, int count, std::mt19937* random);

}  // namespace test

#endif  // SUPPORT_IPC_HOSTILE_MESSAGES_H_
