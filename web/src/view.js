// The glb in a three.js view: orbit, pan and zoom, starting from where the preview picture
// looks (front-right, above) at what it frames; materials and the collision bodies shown or
// hidden, wireframe.
import {
  AmbientLight,
  Box3,
  Color,
  DirectionalLight,
  PerspectiveCamera,
  Scene,
  SRGBColorSpace,
  Vector3,
  WebGLRenderer,
} from 'three';
import { OrbitControls } from 'three/examples/jsm/controls/OrbitControls.js';
import { GLTFLoader } from 'three/examples/jsm/loaders/GLTFLoader.js';

const kViewer = new Vector3(0.6, 0.45, 0.66).normalize();

// The page's thread goes on with other work (a timer, a click) between the view's steps: the
// next step waits behind every task that is due (a timeout of 0 may run before them).
export const nextTask = () => new Promise((resolve) => {
  if (globalThis.scheduler?.postTask) {
    globalThis.scheduler.postTask(resolve, { priority: 'background' });
  } else {
    setTimeout(resolve, 0);
  }
});

// The view's renderer, made while the model converts: making it takes a while.
export function viewRenderer(canvas) {
  const renderer = new WebGLRenderer({ canvas, antialias: true, preserveDrawingBuffer: true });
  renderer.setPixelRatio(1);
  return renderer;
}

export function dropRenderer(renderer) {
  renderer.dispose();
  renderer.forceContextLoss();
}

export async function showGlb(renderer, glb) {
  const canvas = renderer.domElement;
  const gltf = await new GLTFLoader().parseAsync(glb.buffer.slice(glb.byteOffset, glb.byteOffset + glb.byteLength), '');
  await nextTask();
  const scene = new Scene();
  // The preview picture's background.
  scene.background = new Color().setRGB(236 / 255, 238 / 255, 241 / 255, SRGBColorSpace);
  scene.add(new AmbientLight(0xffffff, 0.35 * Math.PI));
  const light = new DirectionalLight(0xffffff, 0.65 * Math.PI);
  light.position.set(0.45, 0.8, 0.4);
  scene.add(light);
  scene.add(gltf.scene);
  const camera = new PerspectiveCamera(35, canvas.width / canvas.height, 0.01, 1000);
  const controls = new OrbitControls(camera, canvas);
  const render = () => renderer.render(scene, camera);
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
  renderer.compile(scene, camera);
  await nextTask();
  fit();
  return {
    fit,
    materials: [...byMaterial.entries()].map(([name, { colour, objects }]) => ({
      name,
      colour: `#${colour.getHexString()}`,
      show: (visible) => {
        for (const object of objects) object.visible = visible;
        render();
      },
    })),
    showBodies: (visible) => {
      for (const body of bodies) body.visible = visible;
      render();
    },
    wireframe: (on) => {
      for (const { objects } of byMaterial.values()) {
        for (const object of objects) object.material.wireframe = on;
      }
      render();
    },
  };
}
