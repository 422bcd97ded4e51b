// The view's worker: the glb in a three.js view drawn on the page's canvas from here, so that
// loading a large model's mesh never holds up the page. Orbit, pan and zoom, starting from
// where the preview picture looks (front-right, above) at what it frames, or from the front, top
// or side, zoomed from keys; materials and the
// collision bodies shown or hidden, wireframe. The page sends the canvas, the glb, the
// canvas's pointer, wheel and key events, and the switches; this worker answers with the
// materials and a count of the frames drawn.
import {
  AmbientLight,
  Box3,
  Color,
  DirectionalLight,
  EventDispatcher,
  PerspectiveCamera,
  Scene,
  SRGBColorSpace,
  Vector3,
  WebGLRenderer,
} from 'three';
import { OrbitControls } from 'three/examples/jsm/controls/OrbitControls.js';
import { GLTFLoader } from 'three/examples/jsm/loaders/GLTFLoader.js';

// What the orbit controls ask of the canvas element, standing in for it here: its events
// come from the page; capturing the pointer is the page's part.
class CanvasStandIn extends EventDispatcher {
  constructor() {
    super();
    this.style = {};
    this.ownerDocument = this;
    this.clientWidth = 1;
    this.clientHeight = 1;
  }

  addEventListener(type, listener) { super.addEventListener(type, listener); }

  removeEventListener(type, listener) { super.removeEventListener(type, listener); }

  getBoundingClientRect() {
    return { left: 0, top: 0, width: this.clientWidth, height: this.clientHeight };
  }

  setPointerCapture() {}

  releasePointerCapture() {}

  hasPointerCapture() { return false; }

  getRootNode() { return this; }

  focus() {}
}

const standIn = new CanvasStandIn();
let renderer = null;
let frames = 0;
let view = null;

const kViewer = new Vector3(0.6, 0.45, 0.66).normalize();

async function showGlb(glb) {
  const canvas = renderer.domElement;
  const gltf = await new GLTFLoader().parseAsync(glb, '');
  const scene = new Scene();
  // The preview picture's background.
  scene.background = new Color().setRGB(236 / 255, 238 / 255, 241 / 255, SRGBColorSpace);
  scene.add(new AmbientLight(0xffffff, 0.35 * Math.PI));
  const light = new DirectionalLight(0xffffff, 0.65 * Math.PI);
  light.position.set(0.45, 0.8, 0.4);
  scene.add(light);
  scene.add(gltf.scene);
  const camera = new PerspectiveCamera(35, canvas.width / canvas.height, 0.01, 1000);
  const controls = new OrbitControls(camera, standIn);
  controls.listenToKeyEvents(standIn);
  const render = () => {
    renderer.render(scene, camera);
    self.postMessage({ frame: ++frames });
  };
  controls.addEventListener('change', render);

  const bodies = [];
  const byMaterial = new Map();
  gltf.scene.traverse((object) => {
    if (object.userData?.collision && object.children.length > 0 && !object.isMesh) {
      bodies.push(object);
    }
    if (!object.material) return;
    const name = object.material.name || 'material';
    if (!byMaterial.has(name)) byMaterial.set(name, { colour: object.material.color, objects: [] });
    byMaterial.get(name).objects.push(object);
  });

  // The mesh, as the preview picture frames it; the collision bodies only when there is no mesh.
  const inBody = new Set();
  for (const body of bodies) body.traverse((object) => inBody.add(object));
  const fit = () => {
    const box = new Box3();
    gltf.scene.traverse((object) => {
      if ((object.isMesh || object.isPoints) && !inBody.has(object)) box.expandByObject(object);
    });
    if (box.isEmpty()) box.setFromObject(gltf.scene);
    if (box.isEmpty()) return render();
    const centre = box.getCenter(new Vector3());
    const radius = Math.max(box.getSize(new Vector3()).length() / 2, 1e-6);
    const distance = radius / Math.sin((camera.fov * Math.PI) / 360);
    camera.near = distance / 1000;
    camera.far = distance * 10;
    camera.position.copy(centre).addScaledVector(kViewer, distance);
    camera.updateProjectionMatrix();
    controls.target.copy(centre);
    controls.update();
    render();
  };
  fit();
  // The camera at its distance from the target, looking from `direction`.
  const lookFrom = (direction) => {
    const distance = camera.position.distanceTo(controls.target);
    camera.position.copy(controls.target).addScaledVector(direction.normalize(), distance);
    controls.update();
    render();
  };
  const groups = [...byMaterial.values()];
  view = {
    fit,
    material: (index, visible) => {
      for (const object of groups[index].objects) object.visible = visible;
      render();
    },
    bodies: (visible) => {
      for (const body of bodies) body.visible = visible;
      render();
    },
    look: (name) => lookFrom({ front: new Vector3(0, 0, 1), top: new Vector3(0, 1, 1e-4), side: new Vector3(1, 0, 0) }[name]),
    zoom: (factor) => {
      camera.position.sub(controls.target).multiplyScalar(factor).add(controls.target);
      controls.update();
      render();
    },
    wireframe: (on) => {
      for (const { objects } of groups) {
        for (const object of objects) object.material.wireframe = on;
      }
      render();
    },
  };
  return [...byMaterial.entries()].map(([name, { colour }]) => ({ name, colour: `#${colour.getHexString()}` }));
}

// An event of the page's canvas, for the orbit controls.
function dispatch(event) {
  standIn.dispatchEvent({ ...event, preventDefault() {}, stopPropagation() {} });
}

self.onmessage = async ({ data }) => {
  if (data.canvas) {
    try {
      renderer = new WebGLRenderer({ canvas: data.canvas, antialias: true });
    } catch {
      return;  // said when a glb comes
    }
    renderer.setPixelRatio(1);
    [standIn.clientWidth, standIn.clientHeight] = [data.canvas.width, data.canvas.height];
  } else if (data.glb) {
    try {
      if (!renderer) throw new Error('no WebGL here');
      self.postMessage({ materials: await showGlb(data.glb) });
    } catch (error) {
      self.postMessage({ failed: error.message ?? String(error) });
    }
  } else if (data.event) {
    dispatch(data.event);
  } else if (data.command && view) {
    view[data.command](...data.values);
  }
};
