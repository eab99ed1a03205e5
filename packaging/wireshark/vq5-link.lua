-- Wireshark/tshark dissector for VQ-5 link captures (vq5 ... --capture FILE, or
-- "Record to file..." in the protocol log window).
--
--   tshark -X lua_script:vq5-link.lua -r visit.pcap
--   (or copy it to ~/.local/lib/wireshark/plugins/)
--
-- The capture is a pcap file of link type LINKTYPE_USER0 (147). Each record starts with an
-- 8-byte pseudo-header, numbers big-endian:
--   0  version (1)   1  direction: 0 device to PC, 1 PC to device
--   2  flags (16 bits; bit 0: line-speed change, no line bytes follow)
--   4  line speed in baud (32 bits)
-- then the line bytes. A read is one byte per record, a write one record per write, so a
-- frame may span records: each direction is followed as a byte stream, in file order, with
-- the rules of the PC's frame reader:
--   poll    'P' ADR ENQ            select  'S' ADR ENQ
--   ACK     ADR ACK (repeated ADR skipped)   NAK  ADR NAK
--   EOT     NUL EOT
--   info    SOH ADR STX block length payload ETX C1 C2; with A = block, B = length and
--           (A, B) := (B, A xor d) for each payload byte d, C1 = B and C2 = A.
-- The record that completes a frame names it in the Info column; every byte gets its role.

local p = Proto("vq5link", "VQ-5 link")

local f_version = ProtoField.uint8("vq5link.version", "Version")
local f_dir = ProtoField.uint8("vq5link.direction", "Direction", base.DEC,
                               { [0] = "device to PC", [1] = "PC to device" })
local f_flags = ProtoField.uint16("vq5link.flags", "Flags", base.HEX)
local f_speedchg = ProtoField.bool("vq5link.flags.speed", "Line-speed change", 16, nil, 0x0001)
local f_baud = ProtoField.uint32("vq5link.baud", "Line speed (baud)")
local f_frame = ProtoField.string("vq5link.frame", "Frame")
local f_text = ProtoField.string("vq5link.text", "Message text")
local f_cmd = ProtoField.string("vq5link.cmd", "Command code")
local f_check = ProtoField.string("vq5link.check", "Check bytes")
local f_byte = ProtoField.string("vq5link.byte", "Byte")
p.fields = { f_version, f_dir, f_flags, f_speedchg, f_baud, f_frame, f_text, f_cmd, f_check, f_byte }

local e_check = ProtoExpert.new("vq5link.check.wrong", "Check byte wrong", expert.group.CHECKSUM, expert.severity.ERROR)
local e_garbage = ProtoExpert.new("vq5link.garbage", "Byte begins no frame", expert.group.MALFORMED, expert.severity.WARN)
local e_cut = ProtoExpert.new("vq5link.cut", "Frame cut short", expert.group.MALFORMED, expert.severity.WARN)
local e_nak = ProtoExpert.new("vq5link.nak", "NAK", expert.group.SEQUENCE, expert.severity.NOTE)
p.experts = { e_check, e_garbage, e_cut, e_nak }

-- Lua 5.2 (Wireshark 3 and 4) has no bit operators of its own.
local bits = bit32 or bit
local bxor, band = bits.bxor, bits.band

local NUL, SOH, STX, ETX, EOT, ENQ, ACK, NAK, ADR = 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x15, 0xE1

local names = { [NUL] = "NUL", [SOH] = "SOH", [STX] = "STX", [ETX] = "ETX", [EOT] = "EOT", [ENQ] = "ENQ",
                [ACK] = "ACK", [NAK] = "NAK", [ADR] = "ADR" }
local function byte_name(b)
    if names[b] then return names[b] end
    if b >= 0x20 and b <= 0x7e then return string.format("'%s'", string.char(b)) end
    return string.format("0x%02x", b)
end

-- Results of the first pass, by frame number: { roles = {...}, frames = {...} }.
local seen = {}
-- One reader per direction: its state and the frame being read.
local readers = {}

local function new_reader() return { state = "start", cur = nil } end

local function reset() seen = {}; readers = { [0] = new_reader(), [1] = new_reader() } end
reset()
function p.init() reset() end

local function command_code(text)
    if text:sub(1, 4) == "$PRG" then return "$PRG" end
    if text:sub(1, 1) == "&" and #text >= 3 then return text:sub(1, 4) end
    return ""
end

-- Ends the frame being read with `kind`; appended to `done`.
local function finish(r, kind, done, extra)
    local f = r.cur or {}
    f.kind = kind
    if extra then for k, v in pairs(extra) do f[k] = v end end
    done[#done + 1] = f
    r.cur = nil
    r.state = "start"
end

-- The states where one fixed byte must come next: that byte, its name, the state it leads to,
-- and how many bytes a frame cut short there leaves as garbage.
local fixed = {
    ps_adr = { byte = ADR, name = "ADR", next = "ps_enq", garbage = 2 },
    soh_adr = { byte = ADR, name = "ADR", next = "soh_stx", garbage = 2 },
    soh_stx = { byte = STX, name = "STX", next = "block", garbage = 3 },
}

-- Feeds one byte; returns its role text.
local function feed(r, b, done)
    local s = r.state
    local step = fixed[s]
    if step then
        if b == step.byte then r.state = step.next; return step.name end
        finish(r, "garbage", done, { garbage = step.garbage }); return byte_name(b) .. " (no " .. step.name .. ")"
    elseif s == "start" then
        r.cur = { payload = {} }
        if b == NUL then r.state = "nul"; return "NUL (EOT frame)"
        elseif b == 0x50 or b == 0x53 then r.cur.ps = b; r.state = "ps_adr"; return byte_name(b) .. " (poll/select)"
        elseif b == ADR then r.state = "adr"; return "ADR"
        elseif b == SOH then r.state = "soh_adr"; return "SOH"
        else finish(r, "garbage", done, { garbage = 1 }); return byte_name(b) .. " begins no frame" end
    elseif s == "nul" then
        if b == EOT then finish(r, "EOT", done); return "EOT" end
        finish(r, "garbage", done, { garbage = 2 }); return byte_name(b) .. " (no EOT after NUL)"
    elseif s == "ps_enq" then
        if b == ENQ then finish(r, r.cur.ps == 0x50 and "poll" or "select", done); return "ENQ" end
        finish(r, "garbage", done, { garbage = 3 }); return byte_name(b) .. " (no ENQ)"
    elseif s == "adr" then
        if b == ADR then return "ADR (repeated)" end
        if b == ACK then finish(r, "ACK", done); return "ACK" end
        if b == NAK then finish(r, "NAK", done); return "NAK" end
        finish(r, "garbage", done, { garbage = 2 }); return byte_name(b) .. " (no ACK/NAK)"
    elseif s == "block" then
        r.cur.a = b; r.state = "len"; return string.format("block byte 0x%02x", b)
    elseif s == "len" then
        r.cur.b = b; r.cur.len = b; r.state = b > 0 and "payload" or "etx"
        return string.format("length %d", b)
    elseif s == "payload" then
        local c = r.cur
        c.payload[#c.payload + 1] = string.char(b)
        c.a, c.b = c.b, bxor(c.a, b)
        if #c.payload >= c.len then r.state = "etx" end
        return "text " .. byte_name(b)
    elseif s == "etx" then
        r.state = "c1"; return "ETX position " .. byte_name(b)
    elseif s == "c1" then
        local c = r.cur
        c.text = table.concat(c.payload)
        if b ~= c.b then
            finish(r, "info", done, { check = "wrong", c1 = "wrong" })
            return string.format("C1 0x%02x WRONG (expected 0x%02x)", b, c.b)
        end
        r.state = "c2"
        return string.format("C1 0x%02x right", b)
    elseif s == "c2" then
        local c = r.cur
        if b ~= c.a then
            finish(r, "info", done, { check = "wrong", c1 = "right", c2 = "wrong" })
            return string.format("C2 0x%02x WRONG (expected 0x%02x)", b, c.a)
        end
        finish(r, "info", done, { check = "right", c1 = "right", c2 = "right" })
        return string.format("C2 0x%02x right", b)
    end
    r.state = "start"
    return byte_name(b)
end

function p.dissector(tvb, pinfo, tree)
    if tvb:len() < 8 then return 0 end
    pinfo.cols.protocol = "VQ-5"
    local dir = tvb(1, 1):uint()
    local flags = tvb(2, 2):uint()
    local t = tree:add(p, tvb(), "VQ-5 link")
    t:add(f_version, tvb(0, 1))
    t:add(f_dir, tvb(1, 1))
    local ft = t:add(f_flags, tvb(2, 2))
    ft:add(f_speedchg, tvb(2, 2))
    t:add(f_baud, tvb(4, 4))
    if band(flags, 1) ~= 0 then
        pinfo.cols.info = string.format("line speed %d baud", tvb(4, 4):uint())
        t:add(f_frame, "speed")
        return tvb:len()
    end
    local arrow = dir == 0 and "D>PC" or "PC>D"
    local result = seen[pinfo.number]
    if not pinfo.visited and result == nil then
        result = { roles = {}, frames = {} }
        -- A frame still being read in the other direction was cut short by this one.
        local other = readers[1 - dir]
        if other and other.state ~= "start" then
            -- Inside an information frame it is a damaged frame; before, bytes of no frame.
            local body = { block = 1, len = 1, payload = 1, etx = 1, c1 = 1, c2 = 1 }
            local cut = {}
            finish(other, body[other.state] and "damaged" or "garbage", cut, { cut = true })
            for _, f in ipairs(cut) do f.other = true; result.frames[#result.frames + 1] = f end
        end
        local r = readers[dir] or new_reader()
        readers[dir] = r
        for i = 8, tvb:len() - 1 do
            result.roles[#result.roles + 1] = feed(r, tvb(i, 1):uint(), result.frames)
        end
        seen[pinfo.number] = result
    end
    if result == nil then return tvb:len() end
    for i, role in ipairs(result.roles) do
        local item = t:add(f_byte, tvb(7 + i, 1), role)
        if role:find("WRONG") then item:add_proto_expert_info(e_check) end
        if role:find("begins no frame") then item:add_proto_expert_info(e_garbage) end
    end
    local info = {}
    for _, f in ipairs(result.frames) do
        local ft2 = t:add(f_frame, f.kind)
        if f.kind == "info" then
            ft2:add(f_text, f.text or "")
            ft2:add(f_cmd, command_code(f.text or ""))
            ft2:add(f_check, f.check)
            if f.check ~= "right" then ft2:add_proto_expert_info(e_check) end
            info[#info + 1] = string.format('info "%s" check %s', f.text or "", f.check)
        elseif f.cut then
            ft2:add_proto_expert_info(e_cut)
            info[#info + 1] = "(" .. (f.other and (dir == 0 and "PC>D" or "D>PC") or arrow) .. " " .. f.kind .. ", cut short)"
        elseif f.kind == "NAK" then
            ft2:add_proto_expert_info(e_nak)
            info[#info + 1] = "NAK"
        else
            info[#info + 1] = f.kind
        end
    end
    if #info == 0 then info[1] = "(frame continues)" end
    pinfo.cols.info = arrow .. " " .. table.concat(info, ", ")
    return tvb:len()
end

local encaps = wtap_encaps or wtap
DissectorTable.get("wtap_encap"):add(encaps.USER0, p)
