-- Marks as billboards the nodes whose names say so: a name that begins with
-- "bb_" or contains "lamp" (in any letter case). Run by all.k3be before the
-- robot is exported; also usable on its own:
--   kavro script --scene examples/robot.kscene examples/batch/mark_billboards.lua
local marked = 0
for _, node in ipairs(scene.nodes()) do
  local name = node.name:lower()
  if name:sub(1, 3) == "bb_" or name:find("lamp", 1, true) then
    node:set_prop("Kvs_billboard", "Billboard")
    marked = marked + 1
  end
end
print(("mark_billboards: %d node(s) marked"):format(marked))
