-- Wireshark dissector for the Kestrix device management protocol: UDP
-- ports 9785-9788, a 16-byte header (magic 0x1986, little-endian) and a
-- payload whose layout depends on the message type and on who sent it.
--
-- Install: copy this file into Wireshark's Lua plugin folder (the Debian
-- package puts it into /usr/lib/<arch>/wireshark/plugins), or load it for
-- one run with  tshark -X lua_script:kestrix.lua -r capture.pcap
--
-- Display filter names start with "kestrix."; block fields are named after
-- the device record's columns ("kestrix.wireless.ssid",
-- "kestrix.info.work_mode", "kestrix.neighbour.mac", ...).

-- A copy in the personal plugin folder and one in the global folder share
-- one Lua state; the second would fail to register the protocol again.
if kestrix_dissector_loaded then return end
kestrix_dissector_loaded = true

local kestrix = Proto("kestrix", "Kestrix device management")

local PORTS = { 9785, 9786, 9787, 9788 }
local PORT_ANNOUNCE, PORT_SEARCH, PORT_HEARTBEAT, PORT_REPLY = 9785, 9786, 9787, 9788
local MAGIC = 0x1986
local HEADER = 16
local MAX_NEIGHBOURS = 32
local NEIGHBOUR_SIZE = 44

-- ---------------------------------------------------------------------------
-- Value tables

local msg_types = {
    [1] = "Announce", [2] = "DeviceInfo", [3] = "SetAddress", [4] = "SetWireless",
    [5] = "SetTimedReboot", [6] = "ScanNeighbours", [7] = "SetBridge", [8] = "SetName",
    [9] = "Reboot", [10] = "Restore", [11] = "UpgradeRequest", [12] = "UpgradeStatus",
    [13] = "SetVlan", [14] = "Unused", [15] = "Heartbeat", [16] = "UpgradeStart",
    [17] = "Release", [18] = "SetTransparentBridge", [19] = "SetPxsync",
}
local work_modes = {
    [1] = "AP", [2] = "Station", [3] = "Universal Repeater", [4] = "Repeater",
    [5] = "P2MP", [6] = "WISP", [7] = "Router",
}
local secure_modes = {
    [0] = "Disable", [1] = "WEP", [2] = "WPA_PSK", [3] = "WPA2_PSK",
    [4] = "WPAWPA2_PSK", [5] = "WPA", [6] = "WPA2",
}
local bandwidths = {
    [0] = "20MHz", [1] = "40MHz", [2] = "Auto", [3] = "80MHz",
    [4] = "10MHz", [5] = "30MHz", [6] = "50MHz", [7] = "60MHz",
}
local on_off = { [0] = "Off", [1] = "On" }
local multicast_flags = { [0] = "not multicast", [1] = "multicast" }
local apply_flags = { [0] = "wait for the VLAN change", [1] = "apply now" }

-- ---------------------------------------------------------------------------
-- Block layouts. Each entry: name, offset, kind, argument.
--   u8 u16 u32 s8   integers (little-endian); argument: value table
--   ip mac          4 / 6 address bytes
--   text            argument bytes of text and a length byte right after
--   reserved        argument bytes
--   block           argument: the name of a nested block

local layouts = {}

layouts.address = { size = 22, title = "Address settings", fields = {
    { "ip_mode", 0, "u8" }, { "ip", 1, "ip" }, { "ip_mask", 5, "ip" },
    { "ip_gateway", 9, "ip" }, { "ip_dns1", 13, "ip" }, { "ip_dns2", 17, "ip" },
    { "apply", 21, "u8", apply_flags },
} }

layouts.name = { size = 33, title = "Name", fields = {
    { "ap_name", 0, "text", 32 },
} }

layouts.reboot = { size = 4, title = "Timed reboot", fields = {
    { "restart_en", 0, "u8", on_off }, { "restart_type", 1, "u8" }, { "restart_time", 2, "u16" },
} }

layouts.security = { size = 262, title = "Security", fields = {
    { "secure_mode", 0, "u8", secure_modes }, { "wpapsk_auth_type", 1, "u8" },
    { "wpapsk_key_value", 2, "text", 64 }, { "wpapsk_key_time", 67, "u32" },
    { "wep_auth_type", 71, "u8" }, { "wep_key_index", 72, "u8" },
    { "wep_key_type0", 73, "u8" }, { "wep_key_value0", 74, "text", 26 },
    { "wep_key_type1", 101, "u8" }, { "wep_key_value1", 102, "text", 26 },
    { "wep_key_type2", 129, "u8" }, { "wep_key_value2", 130, "text", 26 },
    { "wep_key_type3", 157, "u8" }, { "wep_key_value3", 158, "text", 26 },
    { "reserved", 185, "reserved", 1 },
    { "wpa_radius_ip", 186, "ip" }, { "wpa_radius_port", 190, "u16" },
    { "wpa_auth_type", 192, "u8" }, { "wpa_key", 193, "text", 64 },
    { "wpa_key_time", 258, "u32" },
} }

layouts.wireless = { size = 328, title = "Wireless settings", fields = {
    { "rf_count", 0, "u8" }, { "rf_en", 1, "u8", on_off }, { "rf_type", 2, "u8" },
    { "country_code", 3, "u8" }, { "network_mode", 4, "u8" },
    { "bandwidth", 5, "u8", bandwidths }, { "channel", 6, "u8" },
    { "expand_channel", 7, "u8" }, { "tx_power", 8, "u8" }, { "tx_power_min", 9, "u8" },
    { "tx_power_max", 10, "u8" }, { "reserved", 11, "reserved", 11 },
    { "ssid_rf_type", 22, "u8" }, { "ssid_id", 23, "u8" }, { "ssid_hide", 24, "u8" },
    { "ssid_mac", 25, "mac" }, { "ssid", 31, "text", 32 },
    { "security", 64, "block", "security" },
    { "ssid_count", 326, "u8" }, { "reserved", 327, "reserved", 1 },
} }

layouts.bridge = { size = 304, title = "Bridge settings", fields = {
    { "bridge_work_mode", 0, "u8", work_modes }, { "bridge_mac", 1, "mac" },
    { "bridge_channel", 7, "u8" }, { "bridge_ssid", 8, "text", 32 },
    { "reserved", 41, "reserved", 1 },
    { "security", 42, "block", "security" },
} }

layouts.vlan = { size = 10, title = "VLAN settings", fields = {
    { "vlan_en", 0, "u8", on_off }, { "reserved", 1, "reserved", 1 },
    { "vlan_id", 2, "u16" }, { "vlan_id_wlan", 4, "u16" }, { "vlan_id_lan", 6, "u16" },
    { "address_follows", 8, "u8" }, { "reserved", 9, "reserved", 1 },
} }

layouts.extension = { size = 14, title = "Extension", fields = {
    { "bridge_transparent", 0, "u8", on_off }, { "tdmaEn", 1, "u8", on_off },
    { "vlan_pvid", 2, "u16" }, { "vlan_id_lan3", 4, "u16" }, { "vlan_id_lan4", 6, "u16" },
    { "reserved", 8, "reserved", 4 }, { "wl_dfs", 12, "u8", on_off },
    { "reserved", 13, "reserved", 1 },
} }

layouts.info = { size = 756, title = "Device information", fields = {
    { "work_mode", 0, "u8", work_modes }, { "mode_btn_status", 1, "u8" },
    { "reserved", 2, "reserved", 2 }, { "up_time", 4, "u32" },
    { "address", 8, "block", "address" }, { "name", 30, "block", "name" },
    { "version", 63, "text", 32 }, { "reboot", 96, "block", "reboot" },
    { "wireless", 100, "block", "wireless" }, { "bridge", 428, "block", "bridge" },
    { "vlan", 732, "block", "vlan" }, { "extension", 742, "block", "extension" },
} }

-- SetBridge: the bridge settings with the address the wizard chose.
layouts.set_bridge = { size = 328, title = "Bridge command", fields = {
    { "bridge", 0, "block", "bridge" }, { "address", 304, "block", "address" },
    { "reserved", 326, "reserved", 2 },
} }

layouts.announce = { size = 112, title = "Announcement", fields = {
    { "version", 0, "text", 32 }, { "work_mode", 33, "u8", work_modes },
    { "mode_btn_status", 34, "u8" }, { "reserved", 35, "reserved", 1 },
    { "up_time", 36, "u32" }, { "ap_name", 40, "text", 32 }, { "ssid", 73, "text", 32 },
    { "channel", 106, "u8" }, { "bridge_transparent", 107, "u8", on_off },
    { "pxsync", 108, "u8", on_off }, { "reserved", 109, "reserved", 3 },
} }

layouts.heartbeat = { size = 40, title = "Heartbeat", fields = {
    { "version", 0, "text", 32 }, { "reserved", 33, "reserved", 3 }, { "up_time", 36, "u32" },
} }

layouts.upgrade = { size = 268, title = "Upgrade request", fields = {
    { "file_name", 0, "text", 260 }, { "reserved", 261, "reserved", 3 },
    { "file_size", 264, "u32" },
} }

layouts.neighbour = { size = NEIGHBOUR_SIZE, title = "Neighbour", fields = {
    { "mac", 0, "mac" }, { "signal", 6, "s8" }, { "channel", 7, "u8" },
    { "secure_mode", 8, "u8", secure_modes }, { "ssid", 9, "text", 32 },
    { "exchannel", 42, "u8" }, { "bandwidth", 43, "u8", bandwidths },
} }

-- ---------------------------------------------------------------------------
-- Fields

local pf = {}
local all_fields = {}
local function field(abbr, make)
    local f = make()
    pf[abbr] = f
    all_fields[#all_fields + 1] = f
    return f
end

local hf = {
    magic = field("magic", function() return ProtoField.uint16("kestrix.magic", "Magic", base.HEX) end),
    device_type = field("device_type", function()
        return ProtoField.uint16("kestrix.device_type", "Device type", base.DEC)
    end),
    type = field("type", function()
        return ProtoField.uint16("kestrix.type", "Message type", base.DEC, msg_types)
    end),
    type_name = field("type_name", function()
        return ProtoField.string("kestrix.type_name", "Message name")
    end),
    direction = field("direction", function()
        return ProtoField.string("kestrix.direction", "Direction")
    end),
    multicast = field("multicast", function()
        return ProtoField.uint8("kestrix.multicast", "Multicast flag", base.DEC, multicast_flags)
    end),
    hreserved = field("header_reserved", function()
        return ProtoField.uint8("kestrix.header_reserved", "Reserved", base.HEX)
    end),
    mac = field("mac", function() return ProtoField.ether("kestrix.mac", "MAC") end),
    length = field("length", function() return ProtoField.uint16("kestrix.length", "Payload length") end),
    payload = field("payload", function() return ProtoField.bytes("kestrix.payload", "Payload") end),
    trailing = field("trailing", function()
        return ProtoField.bytes("kestrix.trailing", "Bytes past the structure")
    end),
    result = field("result", function()
        return ProtoField.uint8("kestrix.result", "Result", base.DEC)
    end),
    result_meaning = field("result_meaning", function()
        return ProtoField.string("kestrix.result.meaning", "Meaning")
    end),
    result_status = field("result_status", function()
        return ProtoField.string("kestrix.result.status", "Device status shown")
    end),
    packet_count = field("packet_count", function()
        return ProtoField.uint8("kestrix.scan.packet_count", "Packets in this scan")
    end),
    packet_id = field("packet_id", function()
        return ProtoField.uint8("kestrix.scan.packet_id", "Packet index")
    end),
    icount = field("icount", function()
        return ProtoField.uint8("kestrix.scan.icount", "Entries in this packet")
    end),
    up_time_text = field("up_time_text", function()
        return ProtoField.string("kestrix.up_time_text", "Uptime")
    end),
}

-- One ProtoField per (block, field); a nested block's fields carry that
-- block's name, so the wireless and the bridge security share "security.*".
for bname, layout in pairs(layouts) do
    for _, f in ipairs(layout.fields) do
        local name, kind, arg = f[1], f[3], f[4]
        local abbr = "kestrix." .. bname .. "." .. name
        local key = bname .. "." .. name
        if pf[key] == nil and kind ~= "block" then
            if kind == "u8" then
                field(key, function() return ProtoField.uint8(abbr, name, base.DEC, arg) end)
            elseif kind == "s8" then
                field(key, function() return ProtoField.int8(abbr, name, base.DEC, arg) end)
            elseif kind == "u16" then
                field(key, function() return ProtoField.uint16(abbr, name, base.DEC, arg) end)
            elseif kind == "u32" then
                field(key, function() return ProtoField.uint32(abbr, name, base.DEC, arg) end)
            elseif kind == "ip" then
                field(key, function() return ProtoField.ipv4(abbr, name) end)
            elseif kind == "mac" then
                field(key, function() return ProtoField.ether(abbr, name) end)
            elseif kind == "text" then
                field(key, function() return ProtoField.string(abbr, name, base.UNICODE) end)
                field(key .. "_len", function()
                    return ProtoField.uint8(abbr .. "_len", name .. " length", base.DEC)
                end)
            elseif kind == "reserved" then
                field(key, function() return ProtoField.bytes(abbr, "reserved") end)
            end
        end
    end
end

kestrix.fields = all_fields

-- A short payload is the sender's choice, not a broken frame: the program
-- reads the missing part as zero.
local ef_short = ProtoExpert.new("kestrix.short", "Payload shorter than its structure",
    expert.group.PROTOCOL, expert.severity.WARN)
local ef_length = ProtoExpert.new("kestrix.length_mismatch",
    "Header length differs from the bytes received", expert.group.PROTOCOL, expert.severity.WARN)
local ef_text = ProtoExpert.new("kestrix.text_length",
    "Text length byte larger than its field", expert.group.PROTOCOL, expert.severity.NOTE)
local ef_icount = ProtoExpert.new("kestrix.icount",
    "Entries announced but not read", expert.group.PROTOCOL, expert.severity.NOTE)
kestrix.experts = { ef_short, ef_length, ef_text, ef_icount }

-- ---------------------------------------------------------------------------
-- Texts

-- Length of the valid UTF-8 sequence starting at i of s, or nil.
local function utf8_seq(s, i)
    local c = s:byte(i)
    local n, min
    if c < 0x80 then return 1
    elseif c >= 0xC2 and c <= 0xDF then n, min = 2, 0x80
    elseif c >= 0xE0 and c <= 0xEF then n, min = 3, 0x800
    elseif c >= 0xF0 and c <= 0xF4 then n, min = 4, 0x10000
    else return nil end
    if i + n - 1 > #s then return nil, true end
    local cp = c % (2 ^ (7 - n))
    for k = 1, n - 1 do
        local b = s:byte(i + k)
        if b < 0x80 or b > 0xBF then return nil end
        cp = cp * 64 + (b - 0x80)
    end
    if cp < min or cp > 0x10FFFF or (cp >= 0xD800 and cp <= 0xDFFF) then return nil end
    return n
end

-- The text as the program takes it from a device: at most `cap` bytes, up
-- to the first NUL; a non-ASCII text is UTF-8 cut before its first broken or
-- truncated character, and when that leaves nothing every stray byte
-- becomes '?'.
local function device_text(raw)
    local nul = raw:find("\0", 1, true)
    if nul then raw = raw:sub(1, nul - 1) end
    if not raw:find("[\128-\255]") then return raw end
    local i = 1
    while i <= #raw do
        local n = utf8_seq(raw, i)
        if not n then break end
        i = i + n
    end
    if i > 1 then return raw:sub(1, i - 1) end
    local out = {}
    i = 1
    while i <= #raw do
        local n = utf8_seq(raw, i)
        if n then
            out[#out + 1] = raw:sub(i, i + n - 1)
            i = i + n
        else
            out[#out + 1] = "?"
            i = i + 1
        end
    end
    return table.concat(out)
end

local function uptime_text(s)
    local d = math.floor(s / 86400)
    local h = math.floor(s / 3600) % 24
    local m = math.floor(s / 60) % 60
    local sec = s % 60
    if d > 0 then return string.format("%d %d:%d:%d", d, h, m, sec) end
    return string.format("%d:%d:%d", h, m, sec)
end

-- ---------------------------------------------------------------------------
-- Block dissection

local function kind_width(kind, arg)
    if kind == "u8" or kind == "s8" then return 1
    elseif kind == "u16" then return 2
    elseif kind == "u32" or kind == "ip" then return 4
    elseif kind == "mac" then return 6
    elseif kind == "text" then return arg + 1
    elseif kind == "reserved" then return arg
    elseif kind == "block" then return layouts[arg].size end
    return 0
end

-- Adds block `bname` read from tvb at `base_off`, of which `avail` bytes
-- exist. Fields that did not arrive whole are not shown (the program reads
-- them as zero). Returns a table of decoded texts by field name.
local dissect_block
dissect_block = function(bname, tvb, pinfo, tree, base_off, avail, title, nested)
    local layout = layouts[bname]
    local shown = math.min(avail, layout.size)
    local sub = tree:add(kestrix, tvb(base_off, math.max(shown, 0)), title or layout.title)
    local texts = {}
    if avail < layout.size and not nested then
        sub:add_proto_expert_info(ef_short, string.format("%s: %d of %d bytes; the rest reads as zero",
            layout.title, math.max(avail, 0), layout.size))
    end
    for _, f in ipairs(layout.fields) do
        local name, off, kind, arg = f[1], f[2], f[3], f[4]
        local width = kind_width(kind, arg)
        local key = bname .. "." .. name
        local at = base_off + off
        if kind == "block" then
            if off < avail then
                local t = dissect_block(arg, tvb, pinfo, sub, at, avail - off, nil, true)
                for k, v in pairs(t) do texts[name .. "." .. k] = v end
            end
        elseif off + width <= avail then
            local r = tvb(at, width)
            if kind == "u16" or kind == "u32" then
                local item = sub:add_le(pf[key], r)
                if name == "up_time" then
                    item:append_text(" s (" .. uptime_text(r:le_uint()) .. ")")
                end
            elseif kind == "text" then
                local len = tvb(at + arg, 1):uint()
                local take = math.min(len, arg)
                local raw = take > 0 and tvb(at, take):raw() or ""
                local text = device_text(raw)
                texts[name] = text
                sub:add(pf[key], tvb(at, arg), text)
                local litem = sub:add(pf[key .. "_len"], tvb(at + arg, 1))
                if len > arg then litem:add_proto_expert_info(ef_text) end
            else
                sub:add(pf[key], r)
            end
        end
    end
    return texts
end

-- A result or status byte with what it means and the status it leads to.
local results = {
    [7] = function(v)
        if v == 0 then return "bridged", "Bridge success" end
        return "bridge refused", "Bridge fail"
    end,
    [9] = function(v)
        if v == 0 then return "reboot accepted", "Restarting" end
        return "reboot not accepted", "no change"
    end,
    [13] = function(v)
        if v == 0 then return "VLAN settings accepted, device restarts", "Restarting" end
        return "VLAN settings not accepted", "no change"
    end,
    [10] = function(v)
        if v == 0 then return "factory reset accepted", "Reseting" end
        return "factory reset not accepted", "no change"
    end,
    [12] = function(v)
        if v == 0 then return "waiting for the upgrade to start", "Upgrade wait" end
        if v == 1 then return "upgrade failed", "Upgrade fail" end
        return "upgrade succeeded", "Upgrade success"
    end,
}

local function dissect_result(code, tvb, tree, avail)
    if avail < 1 then
        tree:add_proto_expert_info(ef_short, "no result byte")
        return nil
    end
    local v = tvb(HEADER, 1):uint()
    local meaning, status = results[code](v)
    local sub = tree:add(hf.result, tvb(HEADER, 1))
    sub:append_text(" (" .. meaning .. ")")
    sub:add(hf.result_meaning, tvb(HEADER, 1), meaning)
    sub:add(hf.result_status, tvb(HEADER, 1), status)
    return meaning
end

local function dissect_neighbours(tvb, pinfo, tree, avail)
    local sub = tree:add(kestrix, tvb(HEADER, math.max(avail, 0)), "Neighbour report")
    if avail < 3 then
        sub:add_proto_expert_info(ef_short, "neighbour report without its three counters")
        if avail >= 1 then sub:add(hf.packet_count, tvb(HEADER, 1)) end
        if avail >= 2 then sub:add(hf.packet_id, tvb(HEADER + 1, 1)) end
        return 0
    end
    sub:add(hf.packet_count, tvb(HEADER, 1))
    sub:add(hf.packet_id, tvb(HEADER + 1, 1))
    local icount = tvb(HEADER + 2, 1):uint()
    local citem = sub:add(hf.icount, tvb(HEADER + 2, 1))
    local whole = math.floor((avail - 3) / NEIGHBOUR_SIZE)
    local n = math.min(icount, MAX_NEIGHBOURS, whole)
    if n < icount then
        citem:add_proto_expert_info(ef_icount, string.format("%d announced, %d read", icount, n))
    end
    for i = 0, n - 1 do
        local off = HEADER + 3 + i * NEIGHBOUR_SIZE
        local mac = tostring(tvb(off, 6):ether())
        dissect_block("neighbour", tvb, pinfo, sub, off, NEIGHBOUR_SIZE,
            string.format("Neighbour %d: %s", i + 1, mac))
    end
    return n
end

-- ---------------------------------------------------------------------------
-- Direction: the same type code carries different payloads each way.

local function is_multicast(addr)
    local a = tostring(addr)
    local first = tonumber(a:match("^(%d+)%."))
    return first ~= nil and first >= 224 and first <= 239
end

-- True when the tool sent the datagram: searches go to port 9786, commands
-- to the multicast group on 9787 with device type 0; devices send to 9785,
-- 9788, and heartbeats to the tool's own address on 9787.
local function from_tool(pinfo, device_type)
    local dport = pinfo.dst_port
    if dport == PORT_SEARCH then return true end
    if dport == PORT_ANNOUNCE or dport == PORT_REPLY then return false end
    if dport == PORT_HEARTBEAT then
        return is_multicast(pinfo.dst) or device_type == 0
    end
    return device_type == 0
end

-- What each type carries: tool -> device, device -> tool.
local function dissect_payload(code, tool, tvb, pinfo, tree, avail)
    local P = HEADER
    local summary = nil
    if avail <= 0 then
        if not tool and results[code] then
            tree:add_proto_expert_info(ef_short, "no result byte")
        end
        return nil
    end
    if tool then
        if code == 3 then
            dissect_block("address", tvb, pinfo, tree, P, avail)
        elseif code == 4 then
            local t = dissect_block("wireless", tvb, pinfo, tree, P, avail)
            if avail > 328 then dissect_block("extension", tvb, pinfo, tree, P + 328, avail - 328) end
            summary = t.ssid and ("ssid=" .. t.ssid)
        elseif code == 5 then
            dissect_block("reboot", tvb, pinfo, tree, P, avail)
        elseif code == 7 then
            local t = dissect_block("set_bridge", tvb, pinfo, tree, P, avail)
            summary = t["bridge.bridge_ssid"] and ("bridge_ssid=" .. t["bridge.bridge_ssid"])
        elseif code == 8 then
            local t = dissect_block("name", tvb, pinfo, tree, P, avail)
            summary = t.ap_name and ("name=" .. t.ap_name)
        elseif code == 11 then
            local t = dissect_block("upgrade", tvb, pinfo, tree, P, avail)
            summary = t.file_name and ("file=" .. t.file_name)
        elseif code == 13 then
            dissect_block("vlan", tvb, pinfo, tree, P, avail)
            if avail > 10 then dissect_block("extension", tvb, pinfo, tree, P + 10, avail - 10) end
        elseif code == 18 or code == 19 then
            dissect_block("extension", tvb, pinfo, tree, P, avail)
        else
            tree:add(hf.payload, tvb(P, avail))
        end
        return summary
    end
    if code == 1 then
        local t = dissect_block("announce", tvb, pinfo, tree, P, avail)
        summary = t.ap_name and ("name=" .. t.ap_name) or (t.version and ("version=" .. t.version))
    elseif code == 2 then
        local t = dissect_block("info", tvb, pinfo, tree, P, avail)
        summary = t["name.ap_name"] and ("name=" .. t["name.ap_name"])
    elseif code == 6 then
        local n = dissect_neighbours(tvb, pinfo, tree, avail)
        summary = string.format("%d neighbours", n)
    elseif results[code] then
        summary = dissect_result(code, tvb, tree, avail)
        if avail > 1 then tree:add(hf.trailing, tvb(P + 1, avail - 1)) end
        return summary
    elseif code == 15 then
        local t = dissect_block("heartbeat", tvb, pinfo, tree, P, avail)
        summary = t.version and ("version=" .. t.version)
    else
        -- Replies recognised by their type alone: the payload is not read.
        tree:add(hf.payload, tvb(P, avail))
    end
    return summary
end

local sizes_by_type = {}  -- the structure a payload is read as, to show what lies past it
sizes_by_type[false] = { [1] = 112, [2] = 756, [6] = 1414, [15] = 40 }
sizes_by_type[true] = { [3] = 22, [4] = 342, [5] = 4, [7] = 328, [8] = 33, [11] = 268,
    [13] = 24, [18] = 14, [19] = 14 }

function kestrix.dissector(tvb, pinfo, tree)
    local total = tvb:len()
    if total < HEADER then return 0 end
    if tvb(0, 2):le_uint() ~= MAGIC then return 0 end

    pinfo.cols.protocol = "KESTRIX"
    local device_type = tvb(2, 2):le_uint()
    local code = tvb(4, 2):le_uint()
    local length = tvb(14, 2):le_uint()
    local tool = from_tool(pinfo, device_type)
    local name = msg_types[code] or string.format("Unknown(%d)", code)

    local root = tree:add(kestrix, tvb(), "Kestrix device management, " .. name)
    local hdr = root:add(kestrix, tvb(0, HEADER), "Header")
    hdr:add_le(hf.magic, tvb(0, 2))
    hdr:add_le(hf.device_type, tvb(2, 2))
    hdr:add_le(hf.type, tvb(4, 2))
    hdr:add(hf.type_name, tvb(4, 2), name)
    hdr:add(hf.direction, tvb(4, 2), tool and "tool to device" or "device to tool")
    hdr:add(hf.multicast, tvb(6, 1))
    hdr:add(hf.hreserved, tvb(7, 1))
    hdr:add(hf.mac, tvb(8, 6))
    local litem = hdr:add_le(hf.length, tvb(14, 2))

    local received = total - HEADER
    if length ~= received then
        litem:add_proto_expert_info(ef_length,
            string.format("header says %d, %d received", length, received))
    end
    -- The program reads the payload as far as the header length says and
    -- the datagram goes; what lies past the structure is cut off.
    local avail = math.min(length, received)
    local cap = sizes_by_type[tool][code]
    local shown = avail
    if cap and avail > cap then shown = cap end
    local summary = dissect_payload(code, tool, tvb, pinfo, root, shown)
    if cap and avail > cap then root:add(hf.trailing, tvb(HEADER + cap, avail - cap)) end

    local mac = tostring(tvb(8, 6):ether())
    local info = string.format("%s %s %s", name, tool and "to" or "from", mac)
    if tool and code == 1 and pinfo.dst_port == PORT_SEARCH then info = "Announce (search)" end
    -- Device texts may hold line breaks; the one-line summary shows them
    -- as C escapes.
    if summary then
        info = info .. ", " .. summary:gsub("%c", function(c)
            local named = { ["\n"] = "\\n", ["\r"] = "\\r", ["\t"] = "\\t" }
            return named[c] or string.format("\\x%02x", c:byte())
        end)
    end
    pinfo.cols.info = info
    return total
end

local udp_port = DissectorTable.get("udp.port")
for _, p in ipairs(PORTS) do udp_port:add(p, kestrix) end
