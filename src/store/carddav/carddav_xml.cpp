#include "store/carddav/carddav_xml.h"

#include <expat.h>

#include <vector>

namespace carddav {
namespace {

// Expat joins a namespace URI and a local name with this character.
constexpr char kSeparator = '|';

enum class Tag {
  kOther,
  kMultistatus,
  kResponse,
  kHref,
  kStatus,
  kPropstat,
  kProp,
  kResourceType,
  kCollection,
  kAddressBook,
  kDisplayName,
  kPrincipal,
  kHomeSet,
  kAddressData,
};

Tag TagOf(std::string_view name) {
  constexpr std::string_view kDav = "DAV:|";
  constexpr std::string_view kCard = "urn:ietf:params:xml:ns:carddav|";
  if (name.starts_with(kDav)) {
    const std::string_view local = name.substr(kDav.size());
    if (local == "multistatus") return Tag::kMultistatus;
    if (local == "response") return Tag::kResponse;
    if (local == "href") return Tag::kHref;
    if (local == "status") return Tag::kStatus;
    if (local == "propstat") return Tag::kPropstat;
    if (local == "prop") return Tag::kProp;
    if (local == "resourcetype") return Tag::kResourceType;
    if (local == "collection") return Tag::kCollection;
    if (local == "displayname") return Tag::kDisplayName;
    if (local == "current-user-principal") return Tag::kPrincipal;
  } else if (name.starts_with(kCard)) {
    const std::string_view local = name.substr(kCard.size());
    if (local == "addressbook") return Tag::kAddressBook;
    if (local == "addressbook-home-set") return Tag::kHomeSet;
    if (local == "address-data") return Tag::kAddressData;
  }
  return Tag::kOther;
}

}  // namespace

int StatusCodeOf(std::string_view line) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos || line.size() < space + 4) return 0;
  int code = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

struct MultistatusParser::State {
  XML_Parser parser = nullptr;
  std::function<bool(DavResponse&)> onResponse;
  bool failed = false;
  bool sawRoot = false;
  std::vector<Tag> open;  // the elements open now, outermost first
  DavResponse response;   // the response being read
  DavResponse props;      // the propstat being read (committed when 2xx)
  int propstatStatus = 0;
  std::string text;       // the text of the element being collected
  bool collecting = false;

  void Fail() {
    failed = true;
    XML_StopParser(parser, XML_FALSE);
  }

  Tag Parent(std::size_t up = 1) const { return open.size() > up ? open[open.size() - 1 - up] : Tag::kOther; }
  bool Inside(Tag tag) const {
    for (Tag t : open) {
      if (t == tag) return true;
    }
    return false;
  }

  void Start(const char* name) {
    const Tag tag = TagOf(name);
    if (open.empty() && tag != Tag::kMultistatus) return Fail();
    sawRoot = true;
    open.push_back(tag);
    switch (tag) {
      case Tag::kResponse:
        if (Parent() != Tag::kMultistatus) return;
        response = DavResponse{};
        break;
      case Tag::kPropstat:
        props = DavResponse{};
        propstatStatus = 0;
        break;
      case Tag::kCollection:
        if (Parent() == Tag::kResourceType) props.collection = true;
        break;
      case Tag::kAddressBook:
        if (Parent() == Tag::kResourceType) props.addressBook = true;
        break;
      case Tag::kHref:
      case Tag::kStatus:
      case Tag::kDisplayName:
      case Tag::kAddressData:
        collecting = Inside(Tag::kResponse);
        text.clear();
        break;
      default:
        break;
    }
  }

  void End() {
    const Tag tag = open.back();
    open.pop_back();
    const Tag parent = open.empty() ? Tag::kOther : open.back();
    const bool inPropstat = Inside(Tag::kPropstat);
    switch (tag) {
      case Tag::kHref:
        if (parent == Tag::kResponse) {
          if (response.href.empty()) response.href = std::move(text);
        } else if (parent == Tag::kPrincipal && inPropstat) {
          props.principal = std::move(text);
        } else if (parent == Tag::kHomeSet && inPropstat && props.home.empty()) {
          props.home = std::move(text);
        }
        break;
      case Tag::kStatus:
        if (parent == Tag::kResponse) response.status = StatusCodeOf(text);
        if (parent == Tag::kPropstat) propstatStatus = StatusCodeOf(text);
        break;
      case Tag::kDisplayName:
        if (inPropstat && parent == Tag::kProp) {
          props.hasDisplayName = true;
          props.displayName = std::move(text);
        }
        break;
      case Tag::kAddressData:
        if (inPropstat && parent == Tag::kProp) {
          props.hasAddressData = true;
          props.addressData = std::move(text);
        }
        break;
      case Tag::kPropstat:
        if (propstatStatus >= 200 && propstatStatus < 300) Commit();
        break;
      case Tag::kResponse:
        if (parent == Tag::kMultistatus && !onResponse(response)) Fail();
        break;
      default:
        break;
    }
    collecting = false;
    text.clear();
  }

  // What a successful propstat said becomes the response's.
  void Commit() {
    response.collection |= props.collection;
    response.addressBook |= props.addressBook;
    if (props.hasDisplayName) {
      response.hasDisplayName = true;
      response.displayName = std::move(props.displayName);
    }
    if (!props.principal.empty()) response.principal = std::move(props.principal);
    if (!props.home.empty()) response.home = std::move(props.home);
    if (props.hasAddressData) {
      response.hasAddressData = true;
      response.addressData = std::move(props.addressData);
    }
  }

  void Text(const char* data, int length) {
    if (!collecting) return;
    if (text.size() + static_cast<std::size_t>(length) > kMaxElementText) return Fail();
    text.append(data, static_cast<std::size_t>(length));
  }
};

MultistatusParser::MultistatusParser(std::function<bool(DavResponse&)> onResponse)
    : state_(std::make_unique<State>()) {
  state_->onResponse = std::move(onResponse);
  state_->parser = XML_ParserCreateNS(nullptr, kSeparator);
  if (!state_->parser) {
    state_->failed = true;
    return;
  }
  XML_SetUserData(state_->parser, state_.get());
  XML_SetElementHandler(
      state_->parser,
      [](void* data, const XML_Char* name, const XML_Char**) { static_cast<State*>(data)->Start(name); },
      [](void* data, const XML_Char*) {
        State& state = *static_cast<State*>(data);
        if (!state.open.empty()) state.End();
      });
  XML_SetCharacterDataHandler(state_->parser, [](void* data, const XML_Char* text, int length) {
    static_cast<State*>(data)->Text(text, length);
  });
  // A document type declaration (and with it any entity that expands to
  // more text than it takes) has no place in a multistatus body.
  XML_SetStartDoctypeDeclHandler(state_->parser,
                                 [](void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
                                   static_cast<State*>(data)->Fail();
                                 });
}

MultistatusParser::~MultistatusParser() {
  if (state_->parser) XML_ParserFree(state_->parser);
}

bool MultistatusParser::Feed(std::string_view bytes) {
  State& state = *state_;
  while (!state.failed && !bytes.empty()) {
    const std::size_t piece = std::min<std::size_t>(bytes.size(), 1u << 20);
    if (XML_Parse(state.parser, bytes.data(), static_cast<int>(piece), XML_FALSE) != XML_STATUS_OK) {
      state.failed = true;
    }
    bytes.remove_prefix(piece);
  }
  return !state.failed;
}

bool MultistatusParser::Finish() {
  State& state = *state_;
  if (!state.failed && XML_Parse(state.parser, "", 0, XML_TRUE) != XML_STATUS_OK) state.failed = true;
  return !state.failed && state.sawRoot;
}

}  // namespace carddav
