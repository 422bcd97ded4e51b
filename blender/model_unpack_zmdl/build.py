"""Builds a model's collection from the glb the tool wrote and the events it told.

The meshes are made from the glb's arrays in bulk (numpy views of its binary chunk handed to
foreach_set), never vertex by vertex. glTF's +Y up becomes Blender's +Z up, as Blender's own
glTF importer turns it: (x, y, z) -> (x, -z, y).
"""

import json
import math
import struct

import bpy
import numpy

COMPONENTS = {5120: "<i1", 5121: "<u1", 5122: "<i2", 5123: "<u2", 5125: "<u4", 5126: "<f4"}
WIDTHS = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4}


class Glb:
    """A glb's JSON and its binary chunk, with its accessors as numpy arrays."""

    def __init__(self, path):
        with open(path, "rb") as file:
            data = file.read()
        magic, _, _ = struct.unpack_from("<4sII", data, 0)
        if magic != b"glTF":
            raise ValueError(f"{path} is not a glb")
        length, kind = struct.unpack_from("<I4s", data, 12)
        self.json = json.loads(data[20:20 + length])
        self.binary = b""
        at = 20 + length
        if at + 8 <= len(data):
            size, kind = struct.unpack_from("<I4s", data, at)
            if kind == b"BIN\0":
                self.binary = memoryview(data)[at + 8:at + 8 + size]

    def array(self, index):
        """Accessor `index` as an array of shape (count, width), a view where it can be."""
        accessor = self.json["accessors"][index]
        view = self.json["bufferViews"][accessor["bufferView"]]
        width = WIDTHS[accessor["type"]]
        dtype = numpy.dtype(COMPONENTS[accessor["componentType"]])
        offset = view.get("byteOffset", 0) + accessor.get("byteOffset", 0)
        stride = view.get("byteStride", dtype.itemsize * width)
        count = accessor["count"]
        if stride == dtype.itemsize * width:
            flat = numpy.frombuffer(self.binary, dtype, count * width, offset)
            return flat.reshape(count, width)
        rows = numpy.lib.stride_tricks.as_strided(
            numpy.frombuffer(self.binary, numpy.uint8, len(self.binary) - offset, offset),
            (count, stride), (stride, 1))
        return rows[:, :dtype.itemsize * width].copy().view(dtype).reshape(count, width)


def blender_axes(positions):
    """glTF's +Y up as Blender's +Z up."""
    turned = numpy.empty_like(positions, dtype=numpy.float32)
    turned[:, 0] = positions[:, 0]
    turned[:, 1] = -positions[:, 2]
    turned[:, 2] = positions[:, 1]
    return turned


def material(glb_material):
    """A Blender material with the glb material's name and colour, two-sided, not metallic."""
    made = bpy.data.materials.new(glb_material.get("name", "material"))
    pbr = glb_material.get("pbrMetallicRoughness", {})
    colour = pbr.get("baseColorFactor", [1.0, 1.0, 1.0, 1.0])
    made.diffuse_color = colour
    made.metallic = pbr.get("metallicFactor", 1.0)
    made.roughness = pbr.get("roughnessFactor", 1.0)
    made.use_backface_culling = not glb_material.get("doubleSided", False)
    made.use_nodes = True
    shader = made.node_tree.nodes.get("Principled BSDF")
    if shader is not None:
        shader.inputs["Base Color"].default_value = colour
        shader.inputs["Metallic"].default_value = made.metallic
        shader.inputs["Roughness"].default_value = made.roughness
        if colour[3] < 1.0:
            shader.inputs["Alpha"].default_value = colour[3]
            made.blend_method = "BLEND"
    return made


def fill_mesh(mesh, positions, triangles, materials=None, normals=None):
    """`mesh` given every vertex and the triangles (an (n, 3) array of vertex numbers)."""
    mesh.vertices.add(len(positions))
    mesh.vertices.foreach_set("co", blender_axes(positions).ravel())
    count = len(triangles)
    mesh.loops.add(3 * count)
    mesh.loops.foreach_set("vertex_index", triangles.astype(numpy.int32).ravel())
    mesh.polygons.add(count)
    mesh.polygons.foreach_set("loop_start", numpy.arange(0, 3 * count, 3, dtype=numpy.int32))
    if bpy.app.version < (3, 6, 0):  # later, a face's size follows from the starts
        mesh.polygons.foreach_set("loop_total", numpy.full(count, 3, dtype=numpy.int32))
    if materials is not None:
        mesh.polygons.foreach_set("material_index", materials.astype(numpy.int32))
    mesh.update(calc_edges=True)
    if normals is not None and len(positions) > 0:
        if hasattr(mesh, "use_auto_smooth"):  # before Blender 4.1, custom normals need it
            mesh.use_auto_smooth = True
            # No edge is sharp by its angle: the model's normals say how it is shaded, and
            # Blender then has one fan per vertex to work out (a third quicker on large meshes).
            mesh.auto_smooth_angle = math.pi
        mesh.polygons.foreach_set("use_smooth", numpy.ones(count, dtype=bool))
        mesh.normals_split_custom_set_from_vertices(blender_axes(normals))


def model_triangles(glb, primitives):
    """Every triangle of the model's primitives, with its material slot; and how many used one
    vertex twice (a Blender face cannot), which are left out."""
    parts, slots = [], []
    for primitive in primitives:
        if "indices" not in primitive:
            continue
        triangles = glb.array(primitive["indices"]).reshape(-1, 3)
        parts.append(triangles)
        slots.append(numpy.full(len(triangles), primitive.get("material", 0), dtype=numpy.int32))
    if not parts:
        return numpy.empty((0, 3), numpy.uint32), numpy.empty(0, numpy.int32), 0
    triangles, slots = numpy.concatenate(parts), numpy.concatenate(slots)
    whole = ((triangles[:, 0] != triangles[:, 1]) & (triangles[:, 1] != triangles[:, 2])
             & (triangles[:, 0] != triangles[:, 2]))
    return triangles[whole], slots[whole], int(len(triangles) - whole.sum())


def as_property(number):
    """A word of the file as a custom property holds it: an int where it fits Blender's 32-bit
    ints, else a float (exact for any 32-bit word)."""
    return number if number < 2 ** 31 else float(number)


def describe(collection, model_path, version, events):
    """Custom properties on `collection` saying where it came from."""
    collection["model_unpack_path"] = model_path
    collection["model_unpack_version"] = version
    for event in events:
        if event["event"] == "header":
            collection["header_text"] = event["text"]
            collection["header_hex"] = event["hex"]
    collection["directory"] = [
        {"index": as_property(e["index"]), "name": e["name"], "offset": as_property(e["offset"]),
         "count": as_property(e["count"]) if e["count"] is not None else -1, "known": e["known"]}
        for e in events if e["event"] == "block"]


def model_object(glb, node, materials, collection, use_normals):
    """The model's mesh object; how many triangles were left out."""
    primitives = glb.json["meshes"][node["mesh"]]["primitives"]
    attributes = primitives[0]["attributes"] if primitives else {}
    positions = glb.array(attributes["POSITION"]) if "POSITION" in attributes else numpy.empty((0, 3))
    normals = glb.array(attributes["NORMAL"]) if use_normals and "NORMAL" in attributes else None
    triangles, slots, left_out = model_triangles(glb, primitives)
    mesh = bpy.data.meshes.new(node.get("name", "model"))
    for made in materials:
        mesh.materials.append(made)
    fill_mesh(mesh, positions, triangles, slots, normals)
    thing = bpy.data.objects.new(mesh.name, mesh)
    collection.objects.link(thing)
    return left_out


def body_object(glb, node, collection):
    """A collision body: its triangles as a wire object that is not rendered, or an empty."""
    if "mesh" in node:
        mesh = bpy.data.meshes.new(node.get("name", "body"))
        for primitive in glb.json["meshes"][node["mesh"]]["primitives"]:
            positions = glb.array(primitive["attributes"]["POSITION"])
            fill_mesh(mesh, positions, numpy.arange(len(positions) // 3 * 3).reshape(-1, 3))
        thing = bpy.data.objects.new(mesh.name, mesh)
        thing.display_type = "WIRE"
    else:
        thing = bpy.data.objects.new(node.get("name", "body"), None)
        thing.empty_display_type = "PLAIN_AXES"
    thing.hide_render = True
    collection.objects.link(thing)


def fill_collection(collection, glb, use_normals=True):
    """The glb's model and collision bodies in `collection`; how many triangles were left out.
    Without `use_normals`, the model's normals are left out (Blender works out its own)."""
    materials = [material(m) for m in glb.json.get("materials", [])]
    left_out = 0
    bodies = None
    for node in glb.json.get("nodes", []):
        collision = node.get("extras", {}).get("collision", False)
        if not collision and "mesh" in node:
            left_out += model_object(glb, node, materials, collection, use_normals)
        elif collision and not node.get("children"):
            if bodies is None:
                bodies = bpy.data.collections.new("collision bodies")
                collection.children.link(bodies)
            body_object(glb, node, bodies)
    return left_out
