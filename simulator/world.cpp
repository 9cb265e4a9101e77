#include "simulator/world.h"

#include <algorithm>

#include "configtool/platform/text.h"

namespace k470::sim {

World::World(IScheduler& scheduler, uint64_t seed) : tasks_(scheduler), seed_(seed), random_(seed) {}

World::~World() = default;

// ---------------------------------------------------------------- stations

Station* World::AddStation(const StationConfig& config, std::string* error) {
  auto fail = [&](const std::string& why) -> Station* {
    if (error) *error = why;
    return nullptr;
  };
  if (config.id.empty()) return fail("a station needs an id");
  if (Find(config.id)) return fail("station '" + config.id + "' exists already");
  std::string name = Utf8ToCp1252(config.name.empty() ? config.id : config.name);
  if (name.empty() || name.size() > kMaxNameLength)
    return fail("station '" + config.id + "': the name must have 1 to 20 characters");
  if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
    return fail("station '" + config.id + "': the name must not hold control characters");
  if (!IsValidPin(config.pin)) return fail("station '" + config.id + "': the PIN must be 1 to 8 digits");
  if (config.slots < 1 || config.slots > kMaxSlots)
    return fail("station '" + config.id + "': 1 to 10 registration slots");
  stations_.push_back(std::make_unique<Station>(config));
  Log("station " + config.id + " added");
  return stations_.back().get();
}

Station* World::Find(std::string_view id) {
  for (auto& station : stations_) {
    if (station->Id() == id) return station.get();
  }
  return nullptr;
}

const Station* World::Find(std::string_view id) const {
  for (const auto& station : stations_) {
    if (station->Id() == id) return station.get();
  }
  return nullptr;
}

std::vector<Station*> World::Stations() {
  std::vector<Station*> all;
  for (auto& station : stations_) all.push_back(station.get());
  return all;
}

// ---------------------------------------------------------------- set-up

bool World::Register(std::string_view handset, std::string_view base, int handsetSlot, int baseSlot, bool select,
                     std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  Station* h = Find(handset);
  Station* b = Find(base);
  if (!h || !b) return fail("no such station");
  if (h->Type() != StationType::Handset || b->Type() != StationType::Base)
    return fail("a handset registers at a base");
  if (handsetSlot < 0) handsetSlot = h->FirstFreeSlot();
  if (baseSlot < 0) baseSlot = b->FirstFreeSlot();
  if (handsetSlot < 0 || handsetSlot >= h->SlotCount()) return fail(h->Id() + ": no such or no free slot");
  if (baseSlot < 0 || baseSlot >= b->SlotCount()) return fail(b->Id() + ": no such or no free slot");
  h->MutableTable()[static_cast<size_t>(handsetSlot)] = Registration{b->Id(), {}, 0};
  b->MutableTable()[static_cast<size_t>(baseSlot)] = Registration{h->Id(), {}, 0};
  if (select) {
    if (!h->Entry(h->PartnerIndex())) h->SetPartnerIndex(handsetSlot);
    if (!b->Entry(b->PartnerIndex())) b->SetPartnerIndex(baseSlot);
  }
  Log("registered " + h->Id() + " (slot " + std::to_string(handsetSlot) + ") at " + b->Id() + " (slot " +
      std::to_string(baseSlot) + ")");
  Update();
  return true;
}

bool World::AddForeignEntry(std::string_view station, int slot, const std::string& nameUtf8, std::string* error) {
  Station* s = Find(station);
  std::string name = Utf8ToCp1252(nameUtf8);
  if (!s || slot < 0 || slot >= s->SlotCount() || name.empty() || name.size() > kMaxNameLength) {
    if (error) *error = "bad entry (station, slot 0-" + std::to_string(kMaxSlots - 1) + ", name 1-20 characters)";
    return false;
  }
  s->MutableTable()[static_cast<size_t>(slot)] = Registration{{}, name, 0};
  Update();
  return true;
}

bool World::SelectPartner(std::string_view station, int slot) {
  Station* s = Find(station);
  if (!s || !s->Entry(slot)) return false;
  s->SetPartnerIndex(slot);
  Update();
  return true;
}

void World::SetPowered(std::string_view station, bool on) {
  Station* s = Find(station);
  if (!s || s->Powered() == on) return;
  s->SetPowered(on);
  Log("station " + s->Id() + (on ? " powered on" : " powered off"));
  if (!on) CloseWindow(s->Id(), std::nullopt);
  Update();
  NotifyStation(s->Id());
}

void World::SetInRange(std::string_view station, bool in) {
  Station* s = Find(station);
  if (!s || s->InRange() == in) return;
  s->SetInRange(in);
  Log("station " + s->Id() + (in ? " in range" : " out of range"));
  Update();
  NotifyStation(s->Id());
}

bool World::PressRegistrationButton(std::string_view base) {
  // The base's own button opens the window even on a full base; a handset
  // that tries to register there hears BASE_FULL.
  return OpenWindow(base, nullptr, true) == Result::Ok;
}

bool World::SetWaitingHandset(std::string_view handset, const std::string& pin, int slot) {
  Station* h = Find(handset);
  if (!h || h->Type() != StationType::Handset || !IsValidPin(pin) || slot >= h->SlotCount()) return false;
  waiting_[h->Id()] = Waiting{pin, slot};
  for (auto& [baseId, window] : windows_) {
    if (Station* b = Find(baseId)) OnWindowOpened(*b);
  }
  return true;
}

// ---------------------------------------------------------------- radio state

World::Pair World::MakePair(const std::string& a, const std::string& b) {
  return a < b ? Pair{a, b} : Pair{b, a};
}

Station* World::PartnerOf(const Station& station) {
  const auto& entry = station.Entry(station.PartnerIndex());
  if (!entry || entry->stationId.empty()) return nullptr;
  return Find(entry->stationId);
}

const Station* World::PartnerOf(const Station& station) const {
  const auto& entry = station.Entry(station.PartnerIndex());
  if (!entry || entry->stationId.empty()) return nullptr;
  return Find(entry->stationId);
}

int World::IndexOf(const Station& in, const std::string& stationId) const {
  const auto& table = in.Table();
  for (size_t i = 0; i < table.size(); ++i) {
    if (table[i] && table[i]->stationId == stationId) return static_cast<int>(i);
  }
  return -1;
}

bool World::Reachable(const Station& a, const Station& b) const { return a.OnAir() && b.OnAir(); }

bool World::IsLinked(std::string_view station) const {
  const Station* s = Find(station);
  if (!s) return false;
  const Station* p = PartnerOf(*s);
  if (!p) return false;
  auto it = links_.find(MakePair(s->Id(), p->Id()));
  return it != links_.end() && it->second.up;
}

Station* World::LinkedPartner(std::string_view station) {
  Station* s = Find(station);
  return s && IsLinked(station) ? PartnerOf(*s) : nullptr;
}

int World::OwnIndexAtPartner(std::string_view station) {
  Station* p = LinkedPartner(station);
  return p ? IndexOf(*p, std::string(station)) : -1;
}

bool World::HoldsDataConnection(std::string_view station, int slot) const {
  const Station* s = Find(station);
  if (!s) return false;
  const auto& entry = s->Entry(slot);
  if (!entry || entry->stationId.empty()) return false;
  Pair pair = MakePair(s->Id(), entry->stationId);
  for (const auto& [base, holder] : dataHolder_) {
    if (holder == pair) return true;
  }
  return false;
}

int World::ReadSignal(std::string_view station) {
  Station* s = Find(station);
  if (!s || !IsLinked(station)) return 0;
  return std::max(0, s->Signal() + random_.Spread(s->Jitter()));
}

int World::ReadQuality(std::string_view station) {
  Station* s = Find(station);
  if (!s || !IsLinked(station)) return 0;
  return std::max(0, s->Quality() + random_.Spread(s->Jitter()));
}

std::string World::EntryName(const Registration& entry) const {
  if (!entry.stationId.empty()) {
    if (const Station* s = Find(entry.stationId)) return s->Name();
  }
  return entry.fixedName;
}

void World::Update() {
  // Observers hear of links going down and may change the world in turn;
  // their changes are taken up by another round instead of nesting.
  if (updating_) {
    dirty_ = true;
    return;
  }
  updating_ = true;
  do {
    dirty_ = false;
    std::set<Pair> wanted;
    for (auto& station : stations_) {
      Station* p = PartnerOf(*station);
      if (!p || p->Type() == station->Type() || !Reachable(*station, *p)) continue;
      if (IndexOf(*p, station->Id()) < 0) continue;
      wanted.insert(MakePair(station->Id(), p->Id()));
    }
    std::vector<Pair> dropped;
    for (auto it = links_.begin(); it != links_.end();) {
      if (wanted.count(it->first)) {
        ++it;
        continue;
      }
      tasks_.Cancel(it->second.pending);
      if (it->second.up) dropped.push_back(it->first);
      ReleaseDataOf(it->first);
      it = links_.erase(it);
    }
    for (const Pair& pair : wanted) {
      if (links_.count(pair)) continue;
      links_[pair];
      ScheduleLinkUp(pair);
    }
    for (const Pair& pair : dropped) {
      Log("link " + pair.first + " - " + pair.second + " down");
      ForEachObserver([&](IWorldObserver* o) { o->OnLinkChanged(pair.first, pair.second, false); });
    }
  } while (dirty_);
  updating_ = false;
}

void World::ScheduleLinkUp(const Pair& pair) {
  links_[pair].pending = tasks_.Schedule(timing_.linkUpMs, [this, pair]() {
    auto it = links_.find(pair);
    if (it == links_.end()) return;
    it->second.pending = 0;
    it->second.up = true;
    Log("link " + pair.first + " - " + pair.second + " up");
    ForEachObserver([&](IWorldObserver* o) { o->OnLinkChanged(pair.first, pair.second, true); });
  });
}

void World::RestartPendingLinks() {
  for (auto& [pair, link] : links_) {
    if (link.up) continue;
    tasks_.Cancel(link.pending);
    ScheduleLinkUp(pair);
  }
}

// ---------------------------------------------------------------- data connection

const std::string* World::BaseOf(const Pair& pair) const {
  const Station* a = Find(pair.first);
  if (a && a->Type() == StationType::Base) return &pair.first;
  return &pair.second;
}

void World::ReleaseDataOf(const Pair& pair) {
  for (auto it = dataHolder_.begin(); it != dataHolder_.end();) {
    if (it->second == pair) {
      auto release = autoRelease_.find(it->first);
      if (release != autoRelease_.end()) {
        tasks_.Cancel(release->second);
        autoRelease_.erase(release);
      }
      Log("data connection " + pair.first + " - " + pair.second + " released");
      it = dataHolder_.erase(it);
    } else {
      ++it;
    }
  }
}

Result World::OccupyData(std::string_view station) {
  Station* s = Find(station);
  Station* p = LinkedPartner(station);
  if (!s || !p) return Result::Failure;
  Pair pair = MakePair(s->Id(), p->Id());
  std::string base = *BaseOf(pair);
  auto it = dataHolder_.find(base);
  if (it != dataHolder_.end()) return it->second == pair ? Result::Ok : Result::Failure;
  dataHolder_[base] = pair;
  Log("data connection " + pair.first + " - " + pair.second + " occupied");
  const auto& entry = s->Entry(s->PartnerIndex());
  if (entry && entry->releaseSeconds > 0) {
    autoRelease_[base] = tasks_.Schedule(uint64_t{entry->releaseSeconds} * 1000u, [this, pair, base]() {
      autoRelease_.erase(base);
      ReleaseDataOf(pair);
    });
  }
  return Result::Ok;
}

Result World::ReleaseData(std::string_view station) {
  Station* s = Find(station);
  if (!s) return Result::Failure;
  if (Station* p = PartnerOf(*s)) ReleaseDataOf(MakePair(s->Id(), p->Id()));
  return Result::Ok;
}

Result World::SetReleaseTime(std::string_view station, int seconds) {
  Station* s = Find(station);
  if (!s || seconds < 0 || seconds > 655) return Result::Error;
  int slot = s->PartnerIndex();
  if (!s->Entry(slot)) return Result::Failure;
  s->MutableTable()[static_cast<size_t>(slot)]->releaseSeconds = static_cast<uint16_t>(seconds);
  // The time belongs to the link: the partner's entry for us follows.
  if (Station* p = LinkedPartner(station)) {
    int mine = IndexOf(*p, s->Id());
    if (mine >= 0) p->MutableTable()[static_cast<size_t>(mine)]->releaseSeconds = static_cast<uint16_t>(seconds);
  }
  return Result::Ok;
}

// ---------------------------------------------------------------- registration

Result World::OpenRegistrationWindow(std::string_view base, std::function<void(Result)> done) {
  return OpenWindow(base, std::move(done), false);
}

Result World::OpenWindow(std::string_view base, std::function<void(Result)> done, bool evenWhenFull) {
  Station* b = Find(base);
  if (!b || b->Type() != StationType::Base || !b->Powered() || b->Restarting()) return Result::Error;
  if (!evenWhenFull && b->FirstFreeSlot() < 0) return Result::BaseFull;
  auto existing = windows_.find(b->Id());
  if (existing != windows_.end()) tasks_.Cancel(existing->second.closes);
  Window& window = windows_[b->Id()];
  if (done) window.done = std::move(done);
  std::string id = b->Id();
  window.closes = tasks_.Schedule(timing_.registrationWindowMs, [this, id]() {
    auto it = windows_.find(id);
    if (it != windows_.end()) it->second.closes = 0;
    CloseWindow(id, Result::Failure);
  });
  Log("registration window of " + id + " open");
  OnWindowOpened(*b);
  return Result::Ok;
}

void World::OnWindowOpened(Station& base) {
  std::string baseId = base.Id();
  for (const auto& [handset, waiting] : waiting_) {
    std::string id = handset;
    tasks_.Schedule(timing_.autoRegisterMs, [this, id, baseId]() {
      auto it = waiting_.find(id);
      if (it == waiting_.end() || !WindowOpen(baseId)) return;
      Waiting w = it->second;
      Result result = RegisterAtBase(id, w.pin, w.slot);
      Log("waiting handset " + id + " registers: " + ResultWord(result));
      if (result == Result::Ok) waiting_.erase(id);
    });
  }
}

void World::CloseRegistrationWindow(std::string_view base) { CloseWindow(std::string(base), std::nullopt); }

void World::CloseWindow(const std::string& base, std::optional<Result> result) {
  auto it = windows_.find(base);
  if (it == windows_.end()) return;
  tasks_.Cancel(it->second.closes);
  auto done = std::move(it->second.done);
  windows_.erase(it);
  Log("registration window of " + base + " closed");
  if (result && done) done(*result);
}

bool World::WindowOpen(std::string_view base) const { return windows_.count(std::string(base)) != 0; }

Result World::RegisterAtBase(std::string_view handset, const std::string& pin, int slot) {
  Station* h = Find(handset);
  if (!h || h->Type() != StationType::Handset || !IsValidPin(pin)) return Result::Error;
  if (slot < 0) slot = std::max(0, h->FirstFreeSlot());
  if (slot >= h->SlotCount()) return Result::Error;
  Station* b = nullptr;
  for (auto& station : stations_) {
    if (station->Type() == StationType::Base && WindowOpen(station->Id()) && Reachable(*h, *station)) {
      b = station.get();
      break;
    }
  }
  if (!b) return Result::Failure;
  if (b->Pin() != pin) return Result::InvalidPin;
  int baseSlot = IndexOf(*b, h->Id());
  if (baseSlot < 0) baseSlot = b->FirstFreeSlot();
  if (baseSlot < 0) return Result::BaseFull;
  // A handset is registered at a base once: an older entry for the same
  // base gives way to the new slot.
  auto& table = h->MutableTable();
  for (auto& entry : table) {
    if (entry && entry->stationId == b->Id()) entry.reset();
  }
  table[static_cast<size_t>(slot)] = Registration{b->Id(), {}, 0};
  b->MutableTable()[static_cast<size_t>(baseSlot)] = Registration{h->Id(), {}, 0};
  h->SetPartnerIndex(slot);
  if (!b->Entry(b->PartnerIndex())) b->SetPartnerIndex(baseSlot);
  Log("registered " + h->Id() + " (slot " + std::to_string(slot) + ") at " + b->Id() + " (slot " +
      std::to_string(baseSlot) + ")");
  CloseWindow(b->Id(), Result::Ok);
  Update();
  return Result::Ok;
}

Result World::Deregister(std::string_view station, int slot) {
  Station* s = Find(station);
  if (!s || !s->Entry(slot)) return Result::Error;
  Registration entry = *s->Entry(slot);
  Station* p = entry.stationId.empty() ? nullptr : Find(entry.stationId);
  bool both = p && Reachable(*s, *p);
  if (both) {
    for (auto& other : p->MutableTable()) {
      if (other && other->stationId == s->Id()) other.reset();
    }
  }
  s->MutableTable()[static_cast<size_t>(slot)].reset();
  if (p) ReleaseDataOf(MakePair(s->Id(), p->Id()));
  Log("deregistered slot " + std::to_string(slot) + " of " + s->Id() + (both ? " on both sides" : " locally only"));
  Update();
  return both ? Result::Ok : Result::Failure;
}

Result World::ChangePin(std::string_view station, const std::string& oldPin, const std::string& newPin) {
  Station* s = Find(station);
  if (!s || !IsValidPin(oldPin) || !IsValidPin(newPin)) return Result::Error;
  // A handset changes the PIN of the base it is linked to.
  Station* base = s->Type() == StationType::Base ? s : LinkedPartner(station);
  if (!base) return Result::Failure;
  if (base->Pin() != oldPin) return Result::InvalidPin;
  base->SetPin(newPin);
  Log("PIN of " + base->Id() + " changed");
  return Result::Ok;
}

Result World::SetPartnerName(std::string_view station, const std::string& cp1252) {
  Station* p = LinkedPartner(station);
  if (!p) return Result::Failure;
  p->SetName(cp1252);
  return Result::Ok;
}

void World::BeginRestart(std::string_view station) {
  Station* s = Find(station);
  if (!s) return;
  s->SetRestarting(true);
  Log("station " + s->Id() + " restarts");
  CloseWindow(s->Id(), std::nullopt);
  Update();
  NotifyStation(s->Id());
}

void World::EndRestart(std::string_view station) {
  Station* s = Find(station);
  if (!s || !s->Restarting()) return;
  s->SetRestarting(false);
  Log("station " + s->Id() + " ready");
  Update();
  NotifyStation(s->Id());
}

// ---------------------------------------------------------------- observers

void World::AddObserver(IWorldObserver* observer) { observers_.push_back(observer); }

void World::RemoveObserver(IWorldObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void World::NotifyStation(const std::string& id) {
  ForEachObserver([&](IWorldObserver* o) { o->OnStationChanged(id); });
}

void World::ForEachObserver(const std::function<void(IWorldObserver*)>& call) {
  // An observer may leave (an adapter destroyed) while another is told.
  for (IWorldObserver* observer : std::vector<IWorldObserver*>(observers_)) {
    if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) call(observer);
  }
}

void World::Log(const std::string& line) {
  if (eventLog_) eventLog_(line);
}

}  // namespace k470::sim
