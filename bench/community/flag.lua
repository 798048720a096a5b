-- wrk script: every request flags a name no one flagged before, from a device of its own.
local counter = 0
local thread_id = 0
local next_thread = 0

function setup(thread)
    next_thread = next_thread + 1
    thread:set("thread_id", next_thread)
end

request = function()
    counter = counter + 1
    local body = string.format('{"artist":"bench flag %d-%d","device_id":"BENCH-%d-%d"}', thread_id, counter,
        thread_id, counter)
    return wrk.format("POST", "/api/flag/", {["Content-Type"] = "application/json"}, body)
end
